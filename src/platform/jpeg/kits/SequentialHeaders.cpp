// The markers of a sequential stream, after jcmarker.c.
#include "platform/jpeg/kits/SequentialHeaders.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <jpeglib.h>

#include "platform/jpeg/kits/EncodingTable.h"
#include "platform/jpeg/session/JpegSegments.h"

namespace brindlewick {
namespace {

void Segment(QByteArray& out, unsigned char marker, const QByteArray& body) {
  out.append(char(0xFF)).append(char(marker));
  out.append(char((body.size() + 2) >> 8)).append(char((body.size() + 2) & 0xFF));
  out.append(body);
}

QByteArray TableBody(int tableClass, const EncodingTable& t) {
  QByteArray body;
  body.append(char(tableClass << 4));
  for (int length = 1; length <= 16; ++length) body.append(char(t.counts[size_t(length)]));
  for (uint8_t symbol : t.symbols) body.append(char(symbol));
  return body;
}

QByteArray QuantisationBody(const FrameComponent& component, int c) {
  QByteArray body;
  body.append(char((component.quant16 ? 0x10 : 0) | c));
  for (uint16_t q : component.quant) {
    if (component.quant16) body.append(char(q >> 8));
    body.append(char(q & 0xFF));
  }
  return body;
}

QByteArray FrameBody(const JpegFrame& p) {
  QByteArray frame;
  frame.append(char(8)).append(char(p.height >> 8)).append(char(p.height & 0xFF));
  frame.append(char(p.width >> 8)).append(char(p.width & 0xFF));
  frame.append(char(p.components.size()));
  for (size_t c = 0; c < p.components.size(); ++c) {
    const FrameComponent& component = p.components[c];
    frame.append(char(component.id)).append(char(component.h << 4 | component.v)).append(char(c));
  }
  return frame;
}

QByteArray ScanBody(const JpegFrame& p) {
  QByteArray scan;
  scan.append(char(p.components.size()));
  for (const FrameComponent& component : p.components) {
    scan.append(char(component.id)).append(char(0));
  }
  scan.append(char(0)).append(char(63)).append(char(0));
  return scan;
}

}  // namespace

void WriteSequentialHeaders(QByteArray& out, QByteArrayView jpeg, const JpegFrame& p,
                            int restartInterval) {
  out.append(char(0xFF)).append(char(M_SOI));
  for (const auto& [begin, end] : p.appSegments) out.append(jpeg.data() + begin, end - begin);
  for (size_t c = 0; c < p.components.size(); ++c) {
    Segment(out, M_DQT, QuantisationBody(p.components[c], int(c)));
  }
  Segment(out, M_SOF1, FrameBody(p));
  Segment(out, M_DHT, TableBody(0, EncodingTable::Dc()) + TableBody(1, EncodingTable::Ac()));
  if (restartInterval > 0) {
    Segment(out, M_DRI, QByteArray(1, char(restartInterval >> 8)) + char(restartInterval & 0xFF));
  }
  Segment(out, M_SOS, ScanBody(p));
}

}  // namespace brindlewick
