#include "platform/jpeg/bands/BandStream.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/jpeg/session/JpegSegments.h"

namespace brindlewick {
namespace {

constexpr qsizetype kChunkBytes = qsizetype(64) << 10;

}  // namespace

BandStream::BandStream(const BandCoding& coding, QByteArray headers, const BandStart& start)
    : coding_(coding),
      headers_(std::move(headers)),
      start_(start),
      in_(coding.bytes, qsizetype(start.position / 8), coding.end) {
  in_.bits(int(start.position % 8));
}

bool BandStream::next(QByteArray& piece) {
  if (over_) return false;
  if (!headers_.isEmpty()) {
    piece = std::exchange(headers_, {});
    return true;
  }
  piece.resize(0);
  out_.into(piece);
  if (!started_ && !WriteFirstMcu(in_, start_.dc, coding_, &out_)) return false;
  started_ = true;
  return copy(piece);
}

bool BandStream::copy(QByteArray& piece) {
  if (raw_ < 0) {  // after the first MCU: the reader to a whole byte, then the bytes themselves
    const int toByte = int((8 - in_.position() % 8) % 8);
    out_.put(uint32_t(in_.bits(toByte)), toByte);
    // Past the byte that held the MCU's last bit, and past its stuffed zero where it was 0xFF.
    raw_ = std::min(qsizetype(in_.position() / 8), coding_.end);
  }
  const qsizetype tail = coding_.end - 64;
  if (raw_ < tail) {
    qsizetype to = std::min(raw_ + kChunkBytes, tail);
    if (coding_.bytes[to - 1] == 0xFF) ++to;  // never between a stuffed 0xFF and its zero
    if (out_.copyBytes(coding_.bytes, raw_, to) != to) return false;
    out_.commit();
    raw_ = to;
    return true;
  }
  // The last bytes bit by bit, up to the data's last.
  BitReader in(coding_.bytes, raw_, coding_.end);
  for (;;) {
    const int bit = in.bits(1);
    if (in.readPastData()) break;
    out_.put(uint32_t(bit), 1);
  }
  out_.flush(false);
  piece.append("\xFF\xD9", 2);
  over_ = true;
  return true;
}

// Where the frame's height lies in the headers before the scan's data; 0 if it is not found.
qsizetype FrameHeightField(QByteArrayView jpeg, qsizetype data) {
  JpegSegments segments(jpeg.first(data));
  while (const std::optional<JpegSegment> segment = segments.next()) {
    if ((segment->marker == M_SOF0 || segment->marker == M_SOF1) && segment->length() >= 6) {
      return segment->body + 1;
    }
    if (segment->marker == M_SOS) break;
  }
  return 0;
}

}  // namespace brindlewick
