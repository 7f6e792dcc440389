#include "platform/jpeg/ProgressiveTranscoder.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include <QByteArray>

#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/ProgressiveScans.h"

namespace brindlewick {
namespace {

// What libjpeg may hold for a progressive picture's coefficients, 128 bytes a block, when this
// stream would save it no scan; beyond it, the stream's few megabytes are worth its extra time.
constexpr qint64 kWholeCoefficientBytes = qint64(48) << 20;

// libjpeg refuses sequential scans with more blocks per MCU than this.
constexpr int kMaxBlocksPerMcu = 10;

// Canonical Huffman codes from the counts of codes per length. false when the counts overflow
// their lengths or use a code of all ones, which libjpeg refuses too.
bool CanonicalCodes(const std::array<uint8_t, 17>& counts, std::vector<uint16_t>& codes,
                    std::vector<uint8_t>& lengths) {
  uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < counts[size_t(length)]; ++i) {
      codes.push_back(uint16_t(code++));
      lengths.push_back(uint8_t(length));
    }
    if (code >= (uint32_t(1) << length)) return false;
    code <<= 1;
  }
  return true;
}

class HuffmanDecoder {
 public:
  bool build(const HuffmanTable& table, bool dc) {
    std::vector<uint16_t> codes;
    std::vector<uint8_t> lengths;
    if (!CanonicalCodes(table.counts, codes, lengths)) return false;
    fast_.fill(0);
    maxCode_.fill(-1);
    for (size_t i = 0; i < codes.size(); ++i) {
      const int length = lengths[i], symbol = table.symbols[i];
      if (dc && symbol > 15) return false;  // libjpeg refuses these tables
      if (maxCode_[size_t(length)] < 0) {
        firstCode_[size_t(length)] = codes[i];
        firstIndex_[size_t(length)] = int(i);
      }
      maxCode_[size_t(length)] = codes[i];
      if (length <= kFastBits) {
        const int shift = kFastBits - length;
        for (int extra = 0; extra < (1 << shift); ++extra) {
          fast_[size_t(codes[i] << shift | extra)] = uint16_t(length << 8 | symbol);
        }
      }
    }
    symbols_ = table.symbols;
    return true;
  }

  static constexpr int kFastBits = 9;
  std::array<uint16_t, 1 << kFastBits> fast_{};  // length << 8 | symbol; 0 for longer codes
  std::array<int32_t, 17> maxCode_{};
  std::array<int32_t, 17> firstCode_{};
  std::array<int, 17> firstIndex_{};
  std::array<uint8_t, 256> symbols_{};
};

// Reads the entropy-coded data of one scan, undoing byte stuffing. Past the data (at a marker)
// it feeds zero bits, as libjpeg does; reading any of them marks the data as broken, where
// libjpeg would warn.
class BitReader {
 public:
  BitReader(const unsigned char* bytes, qsizetype begin, qsizetype end)
      : bytes_(bytes), pos_(begin), end_(end) {}

  int bits(int n) {
    if (n == 0) return 0;
    fill(n);
    count_ -= n;
    return int(buffer_ >> count_) & ((1 << n) - 1);
  }

  int decode(const HuffmanDecoder& d) {
    fill(16);
    const uint16_t fast = d.fast_[size_t(buffer_ >> (count_ - HuffmanDecoder::kFastBits)) &
                                  ((1 << HuffmanDecoder::kFastBits) - 1)];
    if (fast != 0) {
      count_ -= fast >> 8;
      return fast & 0xFF;
    }
    int32_t code = 0;
    for (int length = 1; length <= 16; ++length) {
      code = code << 1 | bits(1);
      if (code <= d.maxCode_[size_t(length)]) {
        return d
            .symbols_[size_t(d.firstIndex_[size_t(length)] + code - d.firstCode_[size_t(length)])];
      }
    }
    broken_ = true;
    return 0;
  }

  // The restart marker that ends an interval; the bits left before it are padding.
  bool restart(int number) {
    count_ = 0;
    padding_ = 0;
    buffer_ = 0;
    if (pos_ + 1 >= end_ || bytes_[pos_] != 0xFF || bytes_[pos_ + 1] != 0xD0 + number) {
      return false;
    }
    pos_ += 2;
    return true;
  }

  bool broken() const { return broken_ || count_ < padding_; }

 private:
  void fill(int n) {
    while (count_ < n) {
      unsigned byte = 0;
      if (pos_ < end_ && !(bytes_[pos_] == 0xFF && bytes_[pos_ + 1] != 0x00)) {
        byte = bytes_[pos_];
        pos_ += byte == 0xFF ? 2 : 1;
      } else {
        padding_ += 8;
      }
      buffer_ = buffer_ << 8 | byte;
      count_ += 8;
    }
  }

  const unsigned char* bytes_;
  qsizetype pos_, end_;
  uint64_t buffer_ = 0;
  int count_ = 0;    // bits in buffer_
  int padding_ = 0;  // of which zero bits fed past the data
  bool broken_ = false;
};

int Extend(int value, int size) {
  return size == 0 || value >= (1 << (size - 1)) ? value : value - (1 << size) + 1;
}

// The coefficients of one component that the scale reads, block by block, over the whole grid
// of blocks the component's MCUs cover.
struct ComponentStore {
  int wide = 0, high = 0;                // blocks, whole MCUs
  int pictureWide = 0, pictureHigh = 0;  // blocks holding picture
  std::array<int8_t, 64> slot{};         // zigzag position -> index in a block's values, or -1
  int perBlock = 0;
  std::vector<int> acRead;  // AC positions read, ascending
  std::vector<int16_t> values;
  std::vector<uint64_t> nonzero;  // per block, where refinements need to know
  bool refinesAc = false;
  int rowsPerStripeRow = 1;  // block rows per MCU row (per block row, alone in the picture)
  size_t firstBlock = 0;     // the stripe held: its top left block onwards
  int16_t* block(size_t b) { return values.data() + (b - firstBlock) * size_t(perBlock); }
  uint64_t& nonzeroOf(size_t b) { return nonzero[b - firstBlock]; }
};

// Where the decoding of one scan stands. The picture is transcoded a stripe of rows at a time,
// every scan resuming where it stopped, so that the store holds one stripe and each scan's data is
// still read once.
struct ScanCursor {
  explicit ScanCursor(BitReader in) : in(in) {}
  BitReader in;
  std::vector<HuffmanDecoder> dc, ac;
  std::array<int, 4> lastDc{};
  int eobRun = 0, nextRestart = 0;
  qint64 unit = 0;
};

class Transcoder {
 public:
  Transcoder(const QByteArray& jpeg, const Progression& p, int eighths, qint64 storeBytes)
      : bytes_(reinterpret_cast<const unsigned char*>(jpeg.constData())),
        jpeg_(jpeg),
        p_(p),
        eighths_(eighths),
        storeBytes_(storeBytes) {}

  std::optional<QByteArray> run() {
    if (p_.arithmetic) return std::nullopt;
    const std::vector<uint64_t> read = CoefficientsRead(p_, eighths_);
    const std::vector<bool> needed = ScansNeeded(p_, read);
    if (!layOut(read, needed)) return std::nullopt;
    // Every scan needed: libjpeg's own decode of the whole file is quicker, where what it holds
    // for the picture's coefficients is not too much.
    if (std::find(needed.begin(), needed.end(), false) == needed.end()) {
      qint64 whole = 0;
      for (const ComponentStore& store : stores_) whole += qint64(store.wide) * store.high * 128;
      if (whole <= kWholeCoefficientBytes) return std::nullopt;
    }
    std::vector<const ProgressiveScan*> scans;
    std::vector<ScanCursor> cursors;
    for (size_t s = 0; s < p_.scans.size(); ++s) {
      if (!needed[s]) continue;
      scans.push_back(&p_.scans[s]);
      cursors.emplace_back(BitReader(bytes_, p_.scans[s].data, p_.scans[s].end));
      if (!start(p_.scans[s], cursors.back())) return std::nullopt;
    }
    return encode(scans, cursors);
  }

 private:
  bool layOut(const std::vector<uint64_t>& read, const std::vector<bool>& needed) {
    int maxH = 1, maxV = 1, blocksPerMcu = 0;
    for (const ProgressiveComponent& c : p_.components) {
      maxH = std::max(maxH, c.h);
      maxV = std::max(maxV, c.v);
      blocksPerMcu += c.h * c.v;
    }
    single_ = p_.components.size() == 1;
    if (!single_ && blocksPerMcu > kMaxBlocksPerMcu) return false;
    mcusWide_ = (p_.width + 8 * maxH - 1) / (8 * maxH);
    mcusHigh_ = (p_.height + 8 * maxV - 1) / (8 * maxV);
    stores_.resize(p_.components.size());
    for (size_t c = 0; c < p_.components.size(); ++c) {
      const ProgressiveComponent& component = p_.components[c];
      ComponentStore& store = stores_[c];
      store.pictureWide = int((qint64(p_.width) * component.h + 8 * maxH - 1) / (8 * maxH));
      store.pictureHigh = int((qint64(p_.height) * component.v + 8 * maxV - 1) / (8 * maxV));
      store.wide = single_ ? store.pictureWide : mcusWide_ * component.h;
      store.high = single_ ? store.pictureHigh : mcusHigh_ * component.v;
      store.slot.fill(-1);
      for (int k = 0; k < 64; ++k) {
        if (!(read[c] >> k & 1)) continue;
        store.slot[size_t(k)] = int8_t(store.perBlock++);
        if (k > 0) store.acRead.push_back(k);
      }
      bool refinesAc = false;
      for (size_t s = 0; s < p_.scans.size(); ++s) {
        const ProgressiveScan& scan = p_.scans[s];
        refinesAc =
            refinesAc || (needed[s] && scan.ss > 0 && scan.ah > 0 && scan.components[0] == int(c));
      }
      store.refinesAc = refinesAc;
      store.rowsPerStripeRow = single_ ? 1 : component.v;
    }
    // Every block of a DC scan takes at least a bit: a small file declaring a huge picture is
    // found out here, before the store is allocated.
    for (size_t s = 0; s < p_.scans.size(); ++s) {
      const ProgressiveScan& scan = p_.scans[s];
      if (!needed[s] || scan.ss != 0) continue;
      qint64 blocks = 0;
      for (int c : scan.components) {
        const ComponentStore& store = stores_[size_t(c)];
        blocks += scan.components.size() > 1 ? qint64(store.wide) * store.high
                                             : qint64(store.pictureWide) * store.pictureHigh;
      }
      if (qint64(scan.end - scan.data) * 8 < blocks) return false;
    }
    // Stripes of whole MCU rows (block rows, for one component alone) that the store may hold.
    qint64 perRow = 0;
    for (const ComponentStore& store : stores_) {
      perRow += qint64(store.rowsPerStripeRow) * store.wide *
                (qint64(store.perBlock) * qint64(sizeof(int16_t)) +
                 (store.refinesAc ? qint64(sizeof(uint64_t)) : 0));
    }
    rows_ = single_ ? stores_[0].high : mcusHigh_;
    stripeRows_ = int(std::clamp<qint64>(storeBytes_ / std::max<qint64>(perRow, 1), 1, rows_));
    return true;
  }

  // Holds the stripe of rows [top, bottom), all its coefficients zero.
  void hold(int top, int bottom) {
    for (ComponentStore& store : stores_) {
      const int first = top * store.rowsPerStripeRow;
      const int end = std::min(store.high, bottom * store.rowsPerStripeRow);
      const size_t blocks = size_t(end - first) * size_t(store.wide);
      store.firstBlock = size_t(first) * size_t(store.wide);
      store.values.assign(blocks * size_t(store.perBlock), 0);
      if (store.refinesAc) store.nonzero.assign(blocks, 0);
    }
  }

  bool start(const ProgressiveScan& scan, ScanCursor& at) {
    at.dc.resize(scan.components.size());
    at.ac.resize(scan.components.size());
    for (size_t i = 0; i < scan.components.size(); ++i) {
      if (scan.dcTable[i] >= 0 && !at.dc[i].build(p_.tables[size_t(scan.dcTable[i])], true)) {
        return false;
      }
      if (scan.acTable[i] >= 0 && !at.ac[i].build(p_.tables[size_t(scan.acTable[i])], false)) {
        return false;
      }
    }
    return true;
  }

  // Decodes the scan on from where it stands to the end of the stripe that ends at row `bottom`.
  bool decodeScan(const ProgressiveScan& scan, ScanCursor& at, int bottom) {
    // Copies, which the compiler keeps in registers where the cursor's fields would be reloaded
    // after every byte read; stored back once this stripe's part of the scan is done.
    BitReader in = at.in;
    const std::vector<HuffmanDecoder>&dc = at.dc, &ac = at.ac;
    std::array<int, 4> lastDc = at.lastDc;
    int eobRun = at.eobRun, nextRestart = at.nextRestart;
    qint64 unit = at.unit;
    const ComponentStore& first = stores_[size_t(scan.components[0])];
    // A non-interleaved scan of a component with others covers only its picture's blocks.
    const bool interleaved = scan.components.size() > 1;
    const int unitsWide = interleaved ? mcusWide_ : first.pictureWide;
    const int unitsHigh = interleaved ? mcusHigh_ : first.pictureHigh;
    const int stripeEnd = bottom * (interleaved ? 1 : first.rowsPerStripeRow);
    const qint64 units = qint64(unitsWide) * std::min(unitsHigh, stripeEnd);
    for (; unit < units; ++unit) {
      if (scan.restartInterval > 0 && unit > 0 && unit % scan.restartInterval == 0) {
        if (!in.restart(nextRestart)) return false;
        nextRestart = (nextRestart + 1) & 7;
        lastDc.fill(0);
        eobRun = 0;
      }
      const int row = int(unit / unitsWide), column = int(unit % unitsWide);
      for (size_t i = 0; i < scan.components.size(); ++i) {
        ComponentStore& store = stores_[size_t(scan.components[i])];
        const ProgressiveComponent& component = p_.components[size_t(scan.components[i])];
        const bool mcu = scan.components.size() > 1;
        const int bh = mcu ? component.h : 1, bv = mcu ? component.v : 1;
        for (int y = 0; y < bv; ++y) {
          for (int x = 0; x < bh; ++x) {
            const size_t b = size_t(row * bv + y) * size_t(store.wide) + size_t(column * bh + x);
            bool ok = true;
            if (scan.ss == 0 && scan.ah == 0) {
              ok = dcFirst(in, dc[i], store, b, lastDc[i], scan.al);
            } else if (scan.ss == 0) {
              if (in.bits(1)) store.block(b)[0] = int16_t(store.block(b)[0] | (1 << scan.al));
            } else if (scan.ah == 0) {
              ok = acFirst(in, ac[i], store, b, eobRun, scan);
            } else {
              ok = acRefine(in, ac[i], store, b, eobRun, scan);
            }
            if (!ok || in.broken()) return false;
          }
        }
      }
    }
    at.in = in;
    at.lastDc = lastDc;
    at.eobRun = eobRun;
    at.nextRestart = nextRestart;
    at.unit = unit;
    return !in.broken();
  }

  static void set(ComponentStore& store, size_t b, int k, int value) {
    const auto coefficient = int16_t(value);
    if (!store.nonzero.empty() && coefficient != 0) store.nonzeroOf(b) |= uint64_t(1) << k;
    if (store.slot[size_t(k)] >= 0) store.block(b)[store.slot[size_t(k)]] = coefficient;
  }

  static bool dcFirst(BitReader& in, const HuffmanDecoder& d, ComponentStore& store, size_t b,
                      int& lastDc, int al) {
    const int size = in.decode(d);
    const int diff = Extend(in.bits(size), size);
    if ((lastDc >= 0 && diff > INT_MAX - lastDc) || (lastDc < 0 && diff < INT_MIN - lastDc)) {
      return false;
    }
    lastDc += diff;
    store.block(b)[0] = int16_t(unsigned(lastDc) << al);
    return true;
  }

  static bool acFirst(BitReader& in, const HuffmanDecoder& d, ComponentStore& store, size_t b,
                      int& eobRun, const ProgressiveScan& scan) {
    if (eobRun > 0) {
      --eobRun;
      return true;
    }
    for (int k = scan.ss; k <= scan.se; ++k) {
      const int symbol = in.decode(d), run = symbol >> 4, size = symbol & 15;
      if (size != 0) {
        k += run;
        if (k > scan.se) return false;
        set(store, b, k, int(unsigned(Extend(in.bits(size), size)) << scan.al));
      } else if (run == 15) {
        k += 15;
      } else {
        eobRun = (1 << run) + in.bits(run) - 1;
        break;
      }
    }
    return true;
  }

  static void refine(ComponentStore& store, size_t b, int k, int p1) {
    if (store.slot[size_t(k)] < 0) return;  // only whether it is zero matters, and it is not
    int16_t& c = store.block(b)[store.slot[size_t(k)]];
    if ((c & p1) == 0) c = int16_t(c >= 0 ? c + p1 : c - p1);
  }

  static bool acRefine(BitReader& in, const HuffmanDecoder& d, ComponentStore& store, size_t b,
                       int& eobRun, const ProgressiveScan& scan) {
    const int p1 = 1 << scan.al;
    const uint64_t nonzero = store.nonzeroOf(b);
    int k = scan.ss;
    if (eobRun == 0) {
      for (; k <= scan.se; ++k) {
        const int symbol = in.decode(d);
        int run = symbol >> 4, size = symbol & 15, value = 0;
        if (size != 0) {
          if (size != 1) return false;  // libjpeg warns about this
          value = in.bits(1) ? p1 : -p1;
        } else if (run != 15) {
          eobRun = (1 << run) + in.bits(run);
          break;
        }
        do {
          if (nonzero >> k & 1) {
            if (in.bits(1)) refine(store, b, k, p1);
          } else if (--run < 0) {
            break;
          }
          ++k;
        } while (k <= scan.se);
        if (value != 0) {
          if (k > scan.se) return false;
          set(store, b, k, value);
        }
      }
    }
    if (eobRun > 0) {
      for (; k <= scan.se; ++k) {
        if ((nonzero >> k & 1) && in.bits(1)) refine(store, b, k, p1);
      }
      --eobRun;
    }
    return true;
  }

  std::optional<QByteArray> encode(const std::vector<const ProgressiveScan*>& scans,
                                   std::vector<ScanCursor>& cursors);

  const unsigned char* bytes_;
  const QByteArray& jpeg_;
  const Progression& p_;
  const int eighths_;
  const qint64 storeBytes_;
  bool single_ = false;
  int mcusWide_ = 0, mcusHigh_ = 0;
  int rows_ = 0, stripeRows_ = 0;  // MCU rows (block rows, for one component alone)
  std::vector<ComponentStore> stores_;
};

// Tables for the sequential stream: every DC size and every AC run/size a 16-bit coefficient
// can need, shorter codes for the small sizes and short runs that are common.
struct EncodingTable {
  std::array<uint8_t, 17> counts{};
  std::vector<uint8_t> symbols;
  std::array<uint16_t, 256> code{};
  std::array<uint8_t, 256> length{};

  void finish() {
    std::vector<uint16_t> codes;
    std::vector<uint8_t> lengths;
    CanonicalCodes(counts, codes, lengths);
    for (size_t i = 0; i < symbols.size(); ++i) {
      code[symbols[i]] = codes[i];
      length[symbols[i]] = lengths[i];
    }
  }
};

EncodingTable DcTable() {
  EncodingTable t;
  t.counts[3] = 6;  // sizes 0..5
  t.counts[6] = 10;
  for (int size = 0; size <= 15; ++size) t.symbols.push_back(uint8_t(size));
  t.finish();
  return t;
}

EncodingTable AcTable() {
  EncodingTable t;
  t.symbols.push_back(0x00);        // end of block
  std::vector<uint8_t> rest{0xF0};  // sixteen zeros
  for (int run = 0; run < 16; ++run) {
    for (int size = 1; size <= 15; ++size) rest.push_back(uint8_t(run << 4 | size));
  }
  std::stable_sort(rest.begin(), rest.end(), [](uint8_t a, uint8_t b) {
    const int ra = a >> 4, sa = a & 15, rb = b >> 4, sb = b & 15;
    return ra + sa < rb + sb;
  });
  t.symbols.insert(t.symbols.end(), rest.begin(), rest.end());
  t.counts[2] = 1;
  t.counts[4] = 4;
  t.counts[6] = 12;
  t.counts[8] = 30;
  t.counts[10] = uint8_t(rest.size() - 46);
  t.finish();
  return t;
}

class BitWriter {
 public:
  explicit BitWriter(QByteArray& out) : out_(out) {}
  void put(uint32_t bits, int n) {
    buffer_ = buffer_ << n | (bits & ((uint32_t(1) << n) - 1));
    count_ += n;
    while (count_ >= 8) {
      count_ -= 8;
      const char byte = char(buffer_ >> count_);
      out_.append(byte);
      if (byte == char(0xFF)) out_.append(char(0));
    }
  }
  void flush() {
    if (count_ > 0) put(0x7F, 8 - count_);  // pad with ones
  }

 private:
  QByteArray& out_;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

int SizeOf(int value) {
  unsigned magnitude = unsigned(value < 0 ? -value : value);
  int size = 0;
  while (magnitude != 0) {
    ++size;
    magnitude >>= 1;
  }
  return size;
}

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

std::optional<QByteArray> Transcoder::encode(const std::vector<const ProgressiveScan*>& scans,
                                             std::vector<ScanCursor>& cursors) {
  QByteArray out("\xFF\xD8", 2);
  for (const auto& [begin, end] : p_.appSegments)
    out.append(jpeg_.constData() + begin, end - begin);
  const int count = int(p_.components.size());
  for (int c = 0; c < count; ++c) {
    const ProgressiveComponent& component = p_.components[size_t(c)];
    QByteArray body;
    body.append(char((component.quant16 ? 0x10 : 0) | c));
    for (uint16_t q : component.quant) {
      if (component.quant16) body.append(char(q >> 8));
      body.append(char(q & 0xFF));
    }
    Segment(out, 0xDB, body);
  }
  QByteArray frame;
  frame.append(char(8)).append(char(p_.height >> 8)).append(char(p_.height & 0xFF));
  frame.append(char(p_.width >> 8)).append(char(p_.width & 0xFF)).append(char(count));
  for (int c = 0; c < count; ++c) {
    const ProgressiveComponent& component = p_.components[size_t(c)];
    frame.append(char(component.id)).append(char(component.h << 4 | component.v)).append(char(c));
  }
  Segment(out, 0xC1, frame);  // extended sequential: sixteen-bit quantisation allowed
  const EncodingTable dc = DcTable(), ac = AcTable();
  Segment(out, 0xC4, TableBody(0, dc) + TableBody(1, ac));
  QByteArray scan;
  scan.append(char(count));
  for (const ProgressiveComponent& component : p_.components) {
    scan.append(char(component.id)).append(char(0));
  }
  scan.append(char(0)).append(char(63)).append(char(0));
  Segment(out, 0xDA, scan);

  BitWriter writer(out);
  std::array<int, 4> lastDc{};
  auto writeBlock = [&](int c, size_t b) {
    ComponentStore& store = stores_[size_t(c)];
    const int16_t* block = store.block(b);
    const int diff = block[0] - lastDc[size_t(c)];
    lastDc[size_t(c)] = block[0];
    const int dcSize = SizeOf(diff);
    if (dcSize > 15) return false;
    writer.put(dc.code[size_t(dcSize)], dc.length[size_t(dcSize)]);
    writer.put(uint32_t(diff < 0 ? diff - 1 : diff), dcSize);
    int last = 0;
    for (int k : store.acRead) {
      const int value = block[store.slot[size_t(k)]];
      if (value == 0) continue;
      int run = k - last - 1;
      for (; run > 15; run -= 16) writer.put(ac.code[0xF0], ac.length[0xF0]);
      const int size = SizeOf(value);
      if (size > 15) return false;
      const size_t symbol = size_t(run << 4 | size);
      writer.put(ac.code[symbol], ac.length[symbol]);
      writer.put(uint32_t(value < 0 ? value - 1 : value), size);
      last = k;
    }
    if (last < 63) writer.put(ac.code[0], ac.length[0]);
    return true;
  };
  for (int top = 0; top < rows_; top += stripeRows_) {
    if (StopDecodingWhen::asked()) return std::nullopt;
    const int bottom = std::min(rows_, top + stripeRows_);
    hold(top, bottom);
    for (size_t i = 0; i < scans.size(); ++i) {
      if (!decodeScan(*scans[i], cursors[i], bottom)) return std::nullopt;
    }
    if (single_) {
      const ComponentStore& store = stores_[0];
      for (size_t b = size_t(top) * size_t(store.wide); b < size_t(bottom) * size_t(store.wide);
           ++b) {
        if (!writeBlock(0, b)) return std::nullopt;
      }
      continue;
    }
    for (int row = top; row < bottom; ++row) {
      for (int column = 0; column < mcusWide_; ++column) {
        for (int c = 0; c < count; ++c) {
          const ProgressiveComponent& component = p_.components[size_t(c)];
          const ComponentStore& store = stores_[size_t(c)];
          for (int y = 0; y < component.v; ++y) {
            for (int x = 0; x < component.h; ++x) {
              const size_t b = size_t(row * component.v + y) * size_t(store.wide) +
                               size_t(column * component.h + x);
              if (!writeBlock(c, b)) return std::nullopt;
            }
          }
        }
      }
    }
  }
  writer.flush();
  out.append("\xFF\xD9", 2);
  return out;
}

}  // namespace

std::optional<QByteArray> SequentialForScale(const QByteArray& jpeg, const Progression& progression,
                                             int eighths, qint64 storeBytes) {
  return Transcoder(jpeg, progression, eighths, storeBytes).run();
}

}  // namespace brindlewick
