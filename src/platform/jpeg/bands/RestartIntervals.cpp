#include "platform/jpeg/bands/RestartIntervals.h"

#include <algorithm>
#include <cstring>

#include "platform/jpeg/session/JpegSegments.h"
#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

// What the header says: one interleaved Huffman-coded scan of 8-bit gray or colour, with a
// restart interval; gray only as plain 8 x 8 blocks (one component is coded so whatever
// sampling it declares).
bool OneScanWithRestarts(const jpeg_decompress_struct& info) {
  if (info.progressive_mode || info.arith_code || info.data_precision != 8 ||
      info.restart_interval == 0 || info.comps_in_scan != info.num_components) {
    return false;
  }
  if (info.num_components == 1) {
    return info.comp_info[0].h_samp_factor == 1 && info.comp_info[0].v_samp_factor == 1;
  }
  return info.num_components == 3;
}

// Finds the two fields a band's headers replace and where the headers end; none at any segment
// a band could not carry over as it is.
bool ReadHeaderFields(QByteArrayView jpeg, RestartIntervals& layout) {
  JpegSegments segments(jpeg);
  for (;;) {
    const std::optional<JpegSegment> segment = segments.next();
    if (!segment) return false;
    const uint8_t marker = segment->marker;
    if (marker == M_SOF0 || marker == M_SOF1) {
      if (layout.frameHeight != 0 || segment->length() < 6) return false;
      layout.frameHeight = segment->body + 1;
    } else if (marker == M_DRI) {
      if (segment->length() != 2) return false;
      layout.restartField = segment->body;
    } else if (marker == M_SOS) {
      layout.headerEnd = segment->end;
      return layout.frameHeight != 0 && layout.restartField != 0;
    } else if (marker != M_DHT && marker != M_DQT && marker != JPEG_COM &&
               (marker < JPEG_APP0 || marker > JPEG_APP0 + 15)) {
      return false;  // another frame type, DAC, DNL, a marker out of place, ...
    }
  }
}

// Splits the entropy-coded data after the scan header at its restart markers; false at anything
// but RST0..7 in turn followed by the end of the image.
bool SplitIntervals(const unsigned char* bytes, qsizetype size, qsizetype pos,
                    std::vector<std::pair<qsizetype, qsizetype>>& data) {
  qsizetype begin = pos;
  while (pos < size) {
    const void* found = std::memchr(bytes + pos, 0xFF, size_t(size - pos));
    if (!found) return false;
    const qsizetype marker = static_cast<const unsigned char*>(found) - bytes;
    qsizetype code = marker + 1;
    while (code < size && bytes[code] == 0xFF) ++code;  // fill bytes
    if (code >= size) return false;
    const unsigned char c = bytes[code];
    pos = code + 1;
    if (c == 0x00) continue;  // a stuffed data byte
    if (c == JPEG_EOI) {
      data.emplace_back(begin, marker);
      return true;
    }
    if (c != JPEG_RST0 + data.size() % 8) return false;
    data.emplace_back(begin, marker);
    begin = pos;
  }
  return false;
}

}  // namespace

int RestartIntervals::rowOf(int interval) const {
  return int(std::min<qint64>(height, qint64(interval) * rowsPerInterval * mcuHeight));
}

std::optional<RestartIntervals> ReadRestartLayout(const JpegSession& header,
                                                  QByteArrayView headers) {
  const jpeg_decompress_struct& info = header.info();
  if (!OneScanWithRestarts(info)) return std::nullopt;
  RestartIntervals layout;
  if (!ReadHeaderFields(headers, layout)) return std::nullopt;
  layout.width = int(info.image_width);
  layout.height = int(info.image_height);
  layout.mcuHeight = 8 * info.max_v_samp_factor;
  layout.mcuRows = (layout.height + layout.mcuHeight - 1) / layout.mcuHeight;
  const int mcusPerRow =
      (layout.width + 8 * info.max_h_samp_factor - 1) / (8 * info.max_h_samp_factor);
  const int restartMcus = int(info.restart_interval);
  if (restartMcus % mcusPerRow != 0) return std::nullopt;
  layout.rowsPerInterval = restartMcus / mcusPerRow;
  return layout;
}

int RestartIntervals::expected() const { return (mcuRows + rowsPerInterval - 1) / rowsPerInterval; }

std::optional<RestartIntervals> ReadRestartIntervals(const JpegSession& header,
                                                     QByteArrayView jpeg) {
  std::optional<RestartIntervals> layout = ReadRestartLayout(header, jpeg);
  if (!layout) return std::nullopt;
  const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
  if (!SplitIntervals(bytes, jpeg.size(), layout->headerEnd, layout->data)) return std::nullopt;
  if (layout->intervals() != layout->expected()) return std::nullopt;
  return layout;
}

}  // namespace brindlewick
