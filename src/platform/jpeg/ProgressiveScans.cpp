#include "platform/jpeg/ProgressiveScans.h"

#include <algorithm>
#include <array>
#include <vector>

#include <QByteArray>

namespace brindlewick {
namespace {

// The whole-file decode refuses more scans than this (TJFLAG_LIMITSCANS); so do we, to leave
// the refusal to it.
constexpr int kMaxScans = 500;

// Zigzag position -> row * 8 + column.
constexpr std::array<int, 64> kNaturalOrder{
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

struct Component {
  int id = 0;
  int h = 1;
  int v = 1;
};

struct Scan {
  qsizetype begin = 0;  // the SOS marker
  qsizetype end = 0;    // the marker after its entropy-coded data
  std::vector<int> components;
  int ss = 0, se = 0, ah = 0, al = 0;
};

struct Progression {
  std::vector<Component> components;
  std::vector<Scan> scans;
  qsizetype end = 0;  // just past EOI
};

uint64_t Band(int ss, int se) {
  const uint64_t upTo = se == 63 ? ~uint64_t(0) : (uint64_t(1) << (se + 1)) - 1;
  return upTo & ~((uint64_t(1) << ss) - 1);
}

bool IsRestart(unsigned char marker) { return marker >= 0xD0 && marker <= 0xD7; }

// Reads a progressive file's frame and scans, checking as it goes that libjpeg would decode the
// progression without a word of warning and end with every coefficient complete.
class ProgressionReader {
 public:
  explicit ProgressionReader(const QByteArray& data)
      : bytes_(reinterpret_cast<const unsigned char*>(data.constData())), size_(data.size()) {}

  std::optional<Progression> read() {
    if (size_ < 4 || bytes_[0] != 0xFF || bytes_[1] != 0xD8) return std::nullopt;
    qsizetype pos = 2;
    for (;;) {
      if (pos + 1 >= size_ || bytes_[pos] != 0xFF) return std::nullopt;
      while (pos + 1 < size_ && bytes_[pos + 1] == 0xFF) ++pos;  // fill bytes
      if (pos + 1 >= size_) return std::nullopt;
      const qsizetype markerAt = pos;
      const unsigned char marker = bytes_[pos + 1];
      pos += 2;
      if (marker == 0xD9) break;
      if (pos + 2 > size_) return std::nullopt;
      const qsizetype length = (qsizetype(bytes_[pos]) << 8) | bytes_[pos + 1];
      if (length < 2 || pos + length > size_) return std::nullopt;
      const unsigned char* body = bytes_ + pos + 2;
      const int bodyLength = int(length - 2);
      pos += length;
      if (marker == 0xC2 || marker == 0xCA) {
        if (!readFrame(body, bodyLength, marker == 0xCA)) return std::nullopt;
      } else if (marker == 0xC4) {
        if (!readHuffmanTables(body, bodyLength)) return std::nullopt;
      } else if (marker == 0xDA) {
        if (!readScan(body, bodyLength, markerAt)) return std::nullopt;
        pos = entropyEnd(pos);
        if (pos < 0) return std::nullopt;
        progression_.scans.back().end = pos;
      } else if (!(marker == 0xDB || marker == 0xDD || marker == 0xCC || marker == 0xFE ||
                   (marker >= 0xE0 && marker <= 0xEF))) {
        return std::nullopt;  // another frame type, DNL, or a marker we do not know
      }
    }
    if (progression_.scans.empty()) return std::nullopt;
    // Coefficients that never reach their last bit make libjpeg smooth blocks, which a pruned
    // stream would change.
    for (const auto& bits : coefBits_) {
      for (int b : bits) {
        if (b != 0) return std::nullopt;
      }
    }
    progression_.end = pos;
    return std::move(progression_);
  }

 private:
  bool readFrame(const unsigned char* body, int length, bool arithmetic) {
    if (!progression_.components.empty() || length < 6) return false;
    const int precision = body[0];
    const int height = (body[1] << 8) | body[2];
    const int width = (body[3] << 8) | body[4];
    const int count = body[5];
    if (precision != 8 || height == 0 || width == 0 || (count != 1 && count != 3) ||
        length != 6 + 3 * count) {
      return false;
    }
    arithmetic_ = arithmetic;
    for (int i = 0; i < count; ++i) {
      const unsigned char* c = body + 6 + 3 * i;
      const Component component{c[0], c[1] >> 4, c[1] & 15};
      if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4) return false;
      for (const Component& other : progression_.components) {
        if (other.id == component.id) return false;
      }
      progression_.components.push_back(component);
    }
    coefBits_.assign(size_t(count), {});
    for (auto& bits : coefBits_) bits.fill(-1);
    return true;
  }

  bool readHuffmanTables(const unsigned char* body, int length) {
    int at = 0;
    while (at < length) {
      if (length - at < 17) return false;
      const int tableClass = body[at] >> 4, id = body[at] & 15;
      if (tableClass > 1 || id > 3) return false;
      int symbols = 0;
      for (int i = 1; i <= 16; ++i) symbols += body[at + i];
      if (symbols > 256 || length - at - 17 < symbols) return false;
      huffman_[tableClass][id] = true;
      at += 17 + symbols;
    }
    return true;
  }

  bool readScan(const unsigned char* body, int length, qsizetype markerAt) {
    if (progression_.components.empty() || length < 1) return false;
    if (int(progression_.scans.size()) >= kMaxScans) return false;
    Scan scan;
    scan.begin = markerAt;
    const int count = body[0];
    if (count < 1 || count > 4 || length != 4 + 2 * count) return false;
    const unsigned char* tail = body + 1 + 2 * count;
    scan.ss = tail[0];
    scan.se = tail[1];
    scan.ah = tail[2] >> 4;
    scan.al = tail[2] & 15;
    const bool dc = scan.ss == 0;
    if (dc ? scan.se != 0 : (count != 1 || scan.se < scan.ss || scan.se > 63)) return false;
    if (scan.al > 13 || (scan.ah != 0 && scan.ah != scan.al + 1)) return false;
    for (int i = 0; i < count; ++i) {
      const int id = body[1 + 2 * i], tables = body[2 + 2 * i];
      int index = -1;
      for (size_t c = 0; c < progression_.components.size(); ++c) {
        if (progression_.components[c].id == id) index = int(c);
      }
      if (index < 0) return false;
      for (int earlier : scan.components) {
        if (earlier == index) return false;
      }
      scan.components.push_back(index);
      if (!arithmetic_) {
        const int dcTable = tables >> 4, acTable = tables & 15;
        if (dcTable > 3 || acTable > 3) return false;
        if ((dc && scan.ah == 0 && !huffman_[0][dcTable]) || (!dc && !huffman_[1][acTable])) {
          return false;
        }
      }
      auto& bits = coefBits_[size_t(index)];
      if (!dc && bits[0] < 0) return false;  // AC before any DC
      for (int k = scan.ss; k <= scan.se; ++k) {
        if (bits[size_t(k)] != (scan.ah == 0 ? -1 : scan.ah)) return false;
        bits[size_t(k)] = scan.al;
      }
    }
    progression_.scans.push_back(std::move(scan));
    return true;
  }

  // Where the entropy-coded data from pos ends: at the first marker that is neither a stuffed
  // zero nor a restart. -1 when the data ends first.
  qsizetype entropyEnd(qsizetype pos) const {
    while (pos + 1 < size_) {
      if (bytes_[pos] == 0xFF && bytes_[pos + 1] != 0x00 && !IsRestart(bytes_[pos + 1])) {
        return pos;
      }
      ++pos;
    }
    return -1;
  }

  const unsigned char* bytes_;
  qsizetype size_;
  bool arithmetic_ = true;
  bool huffman_[2][4] = {};
  std::vector<std::array<int, 64>> coefBits_;  // per component: the last bit position read
  Progression progression_;
};

}  // namespace

int ComponentIdctSize(int eighths, int h, int v, int maxH, int maxV) {
  int size = eighths;
  while (size < 8 && (maxH * eighths) % (h * size * 2) == 0 &&
         (maxV * eighths) % (v * size * 2) == 0) {
    size *= 2;
  }
  return size;
}

uint64_t CoefficientsRead(int idctSize) {
  // jidctred.c's reduced IDCTs skip rows and columns 2, 4, 6 (2x2) or 4 (4x4) but read up to 7;
  // jidctint.c's others read the top-left corner.
  auto read = [idctSize](int line) {
    if (idctSize == 2) return line == 0 || line % 2 == 1;
    if (idctSize == 4) return line != 4;
    return line < idctSize;
  };
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k) {
    if (read(kNaturalOrder[size_t(k)] / 8) && read(kNaturalOrder[size_t(k)] % 8)) {
      mask |= uint64_t(1) << k;
    }
  }
  return mask;
}

std::optional<QByteArray> PruneProgressiveScans(const QByteArray& jpeg, int eighths) {
  if (eighths < 1 || eighths >= 8) return std::nullopt;
  const std::optional<Progression> progression = ProgressionReader(jpeg).read();
  if (!progression) return std::nullopt;

  int maxH = 1, maxV = 1;
  for (const Component& c : progression->components) {
    maxH = std::max(maxH, c.h);
    maxV = std::max(maxV, c.v);
  }
  std::vector<uint64_t> required;
  for (const Component& c : progression->components) {
    required.push_back(CoefficientsRead(ComponentIdctSize(eighths, c.h, c.v, maxH, maxV)));
  }
  // From the last scan back: a scan is kept when it adds bits to a coefficient that is read, or
  // to one whose bits a later kept scan refines (a refinement decodes against what is there).
  const std::vector<Scan>& scans = progression->scans;
  std::vector<bool> keep(scans.size(), false);
  bool dropsAny = false;
  for (size_t s = scans.size(); s-- > 0;) {
    const uint64_t band = Band(scans[s].ss, scans[s].se);
    for (int c : scans[s].components) keep[s] = keep[s] || (required[size_t(c)] & band) != 0;
    if (keep[s]) {
      for (int c : scans[s].components) required[size_t(c)] |= band;
    }
    dropsAny = dropsAny || !keep[s];
  }
  if (!dropsAny) return std::nullopt;

  QByteArray pruned;
  pruned.reserve(progression->end);
  qsizetype from = 0;
  for (size_t s = 0; s < scans.size(); ++s) {
    if (keep[s]) continue;
    pruned.append(jpeg.constData() + from, scans[s].begin - from);
    from = scans[s].end;
  }
  pruned.append(jpeg.constData() + from, progression->end - from);
  return pruned;
}

}  // namespace brindlewick
