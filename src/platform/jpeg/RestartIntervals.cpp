#include "platform/jpeg/RestartIntervals.h"

#include <algorithm>
#include <cstring>

namespace brindlewick {
namespace {

constexpr unsigned char kSof0 = 0xC0, kSof1 = 0xC1, kDht = 0xC4, kDac = 0xCC, kRst0 = 0xD0,
                        kRst7 = 0xD7, kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDnl = 0xDC,
                        kDri = 0xDD;

int Word(const unsigned char* at) { return (at[0] << 8) | at[1]; }

bool IsOtherFrame(unsigned char marker) {
  return marker >= 0xC2 && marker <= 0xCF && marker != kDht && marker != kDac;
}

struct Frame {
  int width = 0, height = 0, components = 0, maxH = 1, maxV = 1;
};

bool ReadFrame(const unsigned char* segment, int length, Frame& frame) {
  if (length < 8 || segment[2] != 8) return false;
  frame.height = Word(segment + 3);
  frame.width = Word(segment + 5);
  frame.components = segment[7];
  if (frame.width == 0 || frame.height == 0 || length != 8 + 3 * frame.components) return false;
  if (frame.components != 1 && frame.components != 3) return false;
  for (int c = 0; c < frame.components; ++c) {
    const int h = segment[9 + 3 * c] >> 4, v = segment[9 + 3 * c] & 15;
    if (h < 1 || h > 4 || v < 1 || v > 4) return false;
    frame.maxH = std::max(frame.maxH, h);
    frame.maxV = std::max(frame.maxV, v);
  }
  // One component is coded as 8 x 8 blocks whatever it declares; only the plain case is taken.
  return frame.components == 3 || (frame.maxH == 1 && frame.maxV == 1);
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
    if (c == kEoi) {
      data.emplace_back(begin, marker);
      return true;
    }
    if (c < kRst0 || c > kRst7 || c != kRst0 + data.size() % 8) return false;
    data.emplace_back(begin, marker);
    begin = pos;
  }
  return false;
}

}  // namespace

int RestartIntervals::rowOf(int interval) const {
  return int(std::min<qint64>(height, qint64(interval) * rowsPerInterval * mcuHeight));
}

std::optional<RestartIntervals> ReadRestartIntervals(const QByteArray& jpeg) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.constData());
  const qsizetype size = jpeg.size();
  if (size < 4 || bytes[0] != 0xFF || bytes[1] != kSoi) return std::nullopt;

  RestartIntervals layout;
  Frame frame;
  int restartMcus = 0;
  qsizetype pos = 2;
  for (;;) {
    if (pos + 4 > size || bytes[pos] != 0xFF) return std::nullopt;
    while (pos + 4 <= size && bytes[pos + 1] == 0xFF) ++pos;
    if (pos + 4 > size) return std::nullopt;
    const unsigned char marker = bytes[pos + 1];
    const qsizetype segment = pos + 2;
    const int length = Word(bytes + segment);
    if (length < 2 || segment + length > size) return std::nullopt;
    pos = segment + length;
    if (marker == kSof0 || marker == kSof1) {
      if (frame.components || !ReadFrame(bytes + segment, length, frame)) return std::nullopt;
      layout.frameHeight = segment + 3;
    } else if (IsOtherFrame(marker) || marker == kDac || marker == kDnl ||
               (marker >= kRst0 && marker <= kEoi) || marker == 0xDE || marker == 0xDF ||
               marker < 0xC0) {
      return std::nullopt;
    } else if (marker == kDri) {
      if (length != 4) return std::nullopt;
      restartMcus = Word(bytes + segment + 2);
      layout.restartField = segment + 2;
    } else if (marker == kSos) {
      if (!frame.components || length < 3 || bytes[segment + 2] != frame.components) {
        return std::nullopt;
      }
      break;
    }
  }
  layout.headerEnd = pos;
  layout.width = frame.width;
  layout.height = frame.height;
  layout.mcuHeight = 8 * frame.maxV;
  layout.mcuRows = (frame.height + layout.mcuHeight - 1) / layout.mcuHeight;
  const int mcusPerRow = (frame.width + 8 * frame.maxH - 1) / (8 * frame.maxH);
  if (restartMcus == 0 || restartMcus % mcusPerRow != 0) return std::nullopt;
  layout.rowsPerInterval = restartMcus / mcusPerRow;

  if (!SplitIntervals(bytes, size, pos, layout.data)) return std::nullopt;
  const int expected = (layout.mcuRows + layout.rowsPerInterval - 1) / layout.rowsPerInterval;
  if (layout.intervals() != expected) return std::nullopt;
  return layout;
}

}  // namespace brindlewick
