#include "platform/jpeg/frame/FrameReader.h"

#include <algorithm>
#include <array>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <jpeglib.h>

#include "platform/jpeg/session/JpegSegments.h"
#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

class FrameReader {
 public:
  FrameReader(QByteArrayView data, bool sequential, std::stop_token stop)
      : segments_(data), sequential_(sequential), stop_(std::move(stop)) {}

  std::optional<JpegFrame> read() {
    for (;;) {
      if (stop_.stop_requested()) return std::nullopt;
      const std::optional<JpegSegment> segment = segments_.next();
      if (!segment) return std::nullopt;
      if (segment->marker == JPEG_EOI) break;
      if (!take(*segment)) return std::nullopt;
    }
    if (p_.scans.empty()) return std::nullopt;
    // Coefficients that never reach their last bit make libjpeg smooth blocks, which a pruned
    // stream would change.
    for (const auto& bits : coefBits_) {
      for (int b : bits) {
        if (b != 0) return std::nullopt;
      }
    }
    p_.end = segments_.position();
    return std::move(p_);
  }

 private:
  bool take(const JpegSegment& segment) {
    const unsigned char* body = segment.bytes;
    const int length = segment.length();
    switch (segment.marker) {
      case M_SOF0:
      case M_SOF1:
        return sequential_ && readFrame(body, length, false);
      case M_SOF2:
      case M_SOF10:
        return !sequential_ && readFrame(body, length, segment.marker == M_SOF10);
      case M_DHT:
        return readHuffmanTables(body, length);
      case M_DQT:
        return readQuantTables(body, length);
      case M_DRI:
        if (length != 2) return false;
        restartInterval_ = (body[0] << 8) | body[1];
        return true;
      case M_SOS:
        if (!readScan(body, length, segment.at, segment.end)) return false;
        if (!segments_.skipEntropyCodedData(stop_)) return false;
        p_.scans.back().end = segments_.position();
        return true;
      case M_DAC:
        return arithmeticConditioningAccepted(body, length);
      case JPEG_COM:
        return true;
      default:
        if (segment.marker >= JPEG_APP0 && segment.marker <= JPEG_APP0 + 15) {
          if (p_.scans.empty()) p_.appSegments.emplace_back(segment.at, segment.end);
          return true;
        }
        return false;  // another frame type, DNL, a marker out of place, ...
    }
  }

  bool readFrame(const unsigned char* body, int length, bool arithmetic) {
    if (!p_.components.empty() || length < 6) return false;
    const int precision = body[0];
    p_.height = (body[1] << 8) | body[2];
    p_.width = (body[3] << 8) | body[4];
    const int count = body[5];
    const bool components = count == 1 || count == 3 || (sequential_ && count == 4);
    if (precision != 8 || p_.height == 0 || p_.width == 0 || !components ||
        length != 6 + 3 * count) {
      return false;
    }
    p_.arithmetic = arithmetic;
    for (int i = 0; i < count; ++i) {
      const unsigned char* c = body + 6 + 3 * qsizetype(i);
      FrameComponent component;
      component.id = c[0];
      component.h = c[1] >> 4;
      component.v = c[1] & 15;
      if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4 || c[2] > 3) {
        return false;
      }
      for (const FrameComponent& other : p_.components) {
        if (other.id == component.id) return false;
      }
      p_.components.push_back(component);
      quantOf_.push_back(c[2]);
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
      HuffmanTable table;
      int symbols = 0;
      for (int i = 1; i <= 16; ++i) symbols += table.counts[size_t(i)] = body[at + i];
      if (symbols > 256 || length - at - 17 < symbols) return false;
      std::copy(body + at + 17, body + at + 17 + symbols, table.symbols.begin());
      huffman_[tableClass][id] = int(p_.tables.size());
      p_.tables.push_back(table);
      at += 17 + symbols;
    }
    return true;
  }

  // Arithmetic conditioning means nothing to Huffman-coded scans, but libjpeg still checks it
  // (libjpeg-turbo 2.1's get_dac: index and value pairs, at most 32 tables, a DC table's lower
  // bound not above its upper) and refuses the whole file over a bad one; so must we, or a file
  // libjpeg refuses would show here.
  static bool arithmeticConditioningAccepted(const unsigned char* body, int length) {
    if (length % 2 != 0) return false;
    for (int at = 0; at < length; at += 2) {
      const int index = body[at], value = body[at + 1];
      if (index >= 32 || (index < 16 && (value & 15) > value >> 4)) return false;
    }
    return true;
  }

  bool readQuantTables(const unsigned char* body, int length) {
    int at = 0;
    while (at < length) {
      const bool wide = body[at] >> 4 != 0;
      const int id = body[at] & 15;
      if (body[at] >> 4 > 1 || id > 3 || length - at < 1 + 64 * (wide ? 2 : 1)) return false;
      for (int k = 0; k < 64; ++k) {
        quant_[id][size_t(k)] =
            wide ? uint16_t(body[at + 1 + 2 * k] << 8 | body[at + 2 + 2 * k]) : body[at + 1 + k];
      }
      quantWide_[id] = wide;
      quantDefined_[id] = true;
      at += 1 + 64 * (wide ? 2 : 1);
    }
    return true;
  }

  bool readScan(const unsigned char* body, int length, qsizetype markerAt, qsizetype data) {
    if (p_.components.empty() || length < 1) return false;
    if (int(p_.scans.size()) >= kMaxScans) return false;
    FrameScan scan;
    scan.begin = markerAt;
    scan.data = data;
    scan.restartInterval = restartInterval_;
    const int count = body[0];
    if (count < 1 || count > 4 || length != 4 + 2 * count) return false;
    const unsigned char* tail = body + 1 + 2 * qsizetype(count);
    scan.ss = tail[0];
    scan.se = tail[1];
    scan.ah = tail[2] >> 4;
    scan.al = tail[2] & 15;
    if (!(sequential_ ? sequentialScan(scan, count) : progressiveScan(scan, count))) return false;
    for (int i = 0; i < count; ++i) {
      if (!readScanComponent(scan, body[1 + 2 * i], body[2 + 2 * i])) return false;
    }
    p_.scans.push_back(std::move(scan));
    return true;
  }

  static bool progressiveScan(const FrameScan& scan, int count) {
    const bool dc = scan.ss == 0;
    if (dc ? scan.se != 0 : (count != 1 || scan.se < scan.ss || scan.se > 63)) return false;
    return scan.al <= 13 && (scan.ah == 0 || scan.ah == scan.al + 1);
  }

  // One scan of every coefficient of every component, with no restart markers.
  bool sequentialScan(const FrameScan& scan, int count) const {
    return p_.scans.empty() && count == int(p_.components.size()) && scan.ss == 0 &&
           scan.se == 63 && scan.ah == 0 && scan.al == 0 && scan.restartInterval == 0;
  }

  // One component of the scan's header: its id and its tables.
  bool readScanComponent(FrameScan& scan, int id, int tables) {
    const bool dc = scan.ss == 0 && !sequential_;
    int index = -1;
    for (size_t c = 0; c < p_.components.size(); ++c) {
      if (p_.components[c].id == id) index = int(c);
    }
    if (index < 0 ||
        std::find(scan.components.begin(), scan.components.end(), index) != scan.components.end()) {
      return false;
    }
    scan.components.push_back(index);
    const int dcTable = tables >> 4, acTable = tables & 15;
    if (dcTable > 3 || acTable > 3) return false;
    scan.dcTable.push_back(scan.ss == 0 && scan.ah == 0 ? huffman_[0][dcTable] : -1);
    scan.acTable.push_back(dc ? -1 : huffman_[1][acTable]);
    if (!p_.arithmetic && ((scan.ss == 0 && scan.ah == 0 && scan.dcTable.back() < 0) ||
                           (!dc && scan.acTable.back() < 0))) {
      return false;
    }
    if (!p_.arithmetic && !tablesTaken(scan.dcTable.back(), scan.acTable.back())) return false;
    auto& bits = coefBits_[size_t(index)];
    if (!dc && !sequential_ && bits[0] < 0) return false;  // AC before any DC
    for (int k = scan.ss; k <= scan.se; ++k) {
      if (bits[size_t(k)] != (scan.ah == 0 ? -1 : scan.ah)) return false;
      bits[size_t(k)] = scan.al;
    }
    // The decoder takes a component's quantisation table as it stands at its first scan.
    FrameComponent& component = p_.components[size_t(index)];
    if (!latched_[size_t(index)]) {
      const int q = quantOf_[size_t(index)];
      if (!quantDefined_[q]) return false;
      component.quant = quant_[q];
      component.quant16 = quantWide_[q];
      latched_[size_t(index)] = true;
    }
    return true;
  }

  // libjpeg refuses the whole file at the start of a scan whose table it cannot build, even one
  // the reduced scale would leave out; so is it refused here.
  bool tablesTaken(int dcTable, int acTable) const {
    const auto taken = [&](int t, bool dc) {
      return t < 0 || TableTaken(p_.tables[size_t(t)], dc);
    };
    return taken(dcTable, true) && taken(acTable, false);
  }

  JpegSegments segments_;
  bool sequential_;
  std::stop_token stop_;
  int huffman_[2][4] = {{-1, -1, -1, -1}, {-1, -1, -1, -1}};
  std::array<uint16_t, 64> quant_[4] = {};
  bool quantWide_[4] = {}, quantDefined_[4] = {};
  std::vector<int> quantOf_;
  std::array<bool, 4> latched_{};
  int restartInterval_ = 0;
  std::vector<std::array<int, 64>> coefBits_;  // per component: the last bit position read
  JpegFrame p_;
};

}  // namespace

std::optional<JpegFrame> ReadProgressiveFrame(QByteArrayView jpeg, std::stop_token stop) {
  return FrameReader(jpeg, false, std::move(stop)).read();
}

std::optional<JpegFrame> ReadSequentialFrame(QByteArrayView jpeg, std::stop_token stop) {
  std::optional<JpegFrame> scan = FrameReader(jpeg, true, std::move(stop)).read();
  if (scan && scan->scans.size() != 1) return std::nullopt;
  return scan;
}

}  // namespace brindlewick
