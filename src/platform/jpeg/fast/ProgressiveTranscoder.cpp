// The progressive file's needed scans, decoded into a small store and written out again as one
// sequential scan (see ProgressiveTranscoder.h).
//
// What this mirrors of libjpeg-turbo, checked against 2.1.5 (Debian 12's), the range the build
// accepts (the decoder takes the whole-file path with any other, and also when a small
// progressive picture, decoded both ways once per run, comes out differently):
// - Which coefficients each IDCT reads (CoefficientsRead): jidctred.c's 2x2 and 4x4 IDCTs read
//   rows and columns 0, 1, 3, 5, 7 and all but 4; jidctint.c's 3x3, 5x5, 6x6 and 7x7 read the
//   top-left corner of their size; the 1x1 reads DC; the 8x8 ones read all. The IDCT size of each
//   component is the library's own, DCT_scaled_size from jpeg_calc_output_dimensions, which
//   enlarges subsampled chroma by a larger IDCT instead of upsampling where the factors allow.
// - What the decoder does with a progression (jdphuff.c, jdinput.c, jdcoefct.c): it takes a
//   component's quantisation table as it stands at the component's first scan; it smooths blocks
//   whose coefficients never reached their last bit (so such files are refused, ReadProgression);
//   past the data it feeds zero bits and warns.
// - What it refuses in a sequential stream: more than 10 blocks in an MCU, a DC table with symbols
//   above 15, a Huffman table whose codes overflow or use the all-ones code.
// - For the bands (BandedDecode.cpp): jdhuff.c's decode_mcu leaves its quick path whenever a
//   restart interval is set, so a band of one interval declares none.
#include "platform/jpeg/fast/ProgressiveTranscoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <QtEndian>

#include <jpeglib.h>

#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/session/JpegSegments.h"

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

// Reads the entropy-coded data of one scan, [begin, end), undoing byte stuffing. Past the data (at
// the marker that ends it) it feeds zero bits, as libjpeg does; reading any of them marks the data
// as broken, where libjpeg would warn.
//
// Bounds: `end` is where ReadProgression found the marker after the data, so bytes[end] is 0xFF
// and bytes[end + 1] lies inside the file. fill() reads bytes[pos] and bytes[pos + 1] only while
// pos < end, and a stuffed 0xFF 0x00 moves pos by two without passing end, since bytes[end] is a
// marker's 0xFF and not stuffing; restart() reads two bytes only below end.
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
    if (pos_ + 1 >= end_ || bytes_[pos_] != 0xFF || bytes_[pos_ + 1] != JPEG_RST0 + number) {
      return false;
    }
    pos_ += 2;
    return true;
  }

  bool broken() const { return broken_ || count_ < padding_; }

 private:
  void fill(int n) {
    if (count_ >= n) return;
    // Most of the data: eight bytes at once, when none of them is 0xFF (no stuffing, no marker).
    // pos_ + 8 <= end_ keeps the load inside the scan's data.
    if (pos_ + 8 <= end_) {
      uint64_t word;
      std::memcpy(&word, bytes_ + pos_, sizeof word);
      const uint64_t inverted = ~word;
      if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) == 0) {
        const int take = (63 - count_) / 8;  // whole bytes that fit in the buffer: 5 at least
        buffer_ = buffer_ << (8 * take) | (qFromBigEndian(word) >> (64 - 8 * take));
        count_ += 8 * take;
        pos_ += take;
        if (count_ >= n) return;
      }
    }
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
  uint64_t acMask = 0;      // the same, as bits of zigzag positions
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
  ScanCursor(const ProgressiveScan& scan, BitReader in) : scan(&scan), in(in) {}
  const ProgressiveScan* scan;
  BitReader in;
  std::vector<HuffmanDecoder> dc, ac;
  std::array<int, 4> lastDc{};
  int eobRun = 0, nextRestart = 0;
  qint64 unit = 0;
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

// Writes Huffman-coded bits with byte stuffing into whichever piece of the stream is being made;
// the bits of a byte not yet full carry over to the next piece.
class BitWriter {
 public:
  void into(QByteArray& out) { out_ = &out; }
  // At most 31 bits at a time.
  void put(uint32_t bits, int n) {
    buffer_ = buffer_ << n | (bits & ((uint32_t(1) << n) - 1));
    count_ += n;
    if (count_ >= 32) writeBytes(4);
  }
  void flush() {
    writeBytes(count_ / 8);
    if (count_ > 0) {  // pad with ones
      put(0x7F, 8 - count_);
      writeBytes(1);
    }
  }

 private:
  // Moves whole bytes from the top of the buffer into the output, stuffing a zero after 0xFF;
  // appended a few at a time, as appending byte by byte costs more than the coding.
  void writeBytes(int bytes) {
    char out[8];
    int n = 0;
    for (int i = 0; i < bytes; ++i) {
      count_ -= 8;
      const char byte = char(buffer_ >> count_);
      out[n++] = byte;
      if (byte == char(0xFF)) out[n++] = 0;
    }
    out_->append(out, n);
  }

  QByteArray* out_ = nullptr;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

int SizeOf(int value) { return std::bit_width(unsigned(value < 0 ? -value : value)); }

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

}  // namespace

class SequentialStream::Transcoder {
  class Pipeline;

 public:
  Transcoder(QByteArrayView jpeg, const Progression& p, const std::vector<int>& idctSizes,
             qint64 storeBytes, std::stop_token stop)
      : bytes_(reinterpret_cast<const unsigned char*>(jpeg.data())),
        jpeg_(jpeg),
        p_(p),
        idctSizes_(idctSizes),
        storeBytes_(storeBytes),
        stop_(std::move(stop)) {}

  bool open(int threads) {
    if (p_.arithmetic || idctSizes_.size() != p_.components.size()) return false;
    const std::vector<uint64_t> read = CoefficientsRead(idctSizes_);
    const std::vector<bool> needed = ScansNeeded(p_, read);
    if (!layOut(read, needed)) return false;
    // Every scan needed: on one thread, libjpeg's own decode of the whole file is quicker, where
    // what it holds for the picture's coefficients is not too much.
    if (threads < 2 && std::find(needed.begin(), needed.end(), false) == needed.end()) {
      qint64 whole = 0;
      for (const ComponentStore& store : layout_) whole += qint64(store.wide) * store.high * 128;
      if (whole <= kWholeCoefficientBytes) return false;
    }
    for (size_t s = 0; s < p_.scans.size(); ++s) {
      if (!needed[s]) continue;
      cursors_.emplace_back(p_.scans[s], BitReader(bytes_, p_.scans[s].data, p_.scans[s].end));
      if (!start(cursors_.back())) return false;
    }
    stripes_.assign(1, layout_);
    if (threads >= 2 && cursors_.size() >= 2 && rows_ >= 2) {
      // Stripes small enough that the two threads start and end nearly together.
      stripeRows_ = std::min(stripeRows_, std::max(1, rows_ / kPipelineStripes));
      startPipeline();
    }
    return true;
  }

  // The headers, then a stripe at a time: decodes the stripe's part of every needed scan into the
  // store, then writes its blocks. On several threads, the pieces come as the stages make them.
  bool next(QByteArray& out);
  ~Transcoder();

  void finish(QByteArray& out) {
    writer_.into(out);
    writer_.flush();
    out.append(char(0xFF)).append(char(JPEG_EOI));
  }

 private:
  void startPipeline();

  static constexpr size_t kStripesHeld = 4;
  static constexpr int kPipelineStripes = 32;

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
    layout_.resize(p_.components.size());
    for (size_t c = 0; c < p_.components.size(); ++c) {
      const ProgressiveComponent& component = p_.components[c];
      ComponentStore& store = layout_[c];
      store.pictureWide = int((qint64(p_.width) * component.h + 8 * maxH - 1) / (8 * maxH));
      store.pictureHigh = int((qint64(p_.height) * component.v + 8 * maxV - 1) / (8 * maxV));
      store.wide = single_ ? store.pictureWide : mcusWide_ * component.h;
      store.high = single_ ? store.pictureHigh : mcusHigh_ * component.v;
      store.slot.fill(-1);
      for (int k = 0; k < 64; ++k) {
        if (!(read[c] >> k & 1)) continue;
        store.slot[size_t(k)] = int8_t(store.perBlock++);
        if (k > 0) {
          store.acRead.push_back(k);
          store.acMask |= uint64_t(1) << k;
        }
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
        const ComponentStore& store = layout_[size_t(c)];
        blocks += scan.components.size() > 1 ? qint64(store.wide) * store.high
                                             : qint64(store.pictureWide) * store.pictureHigh;
      }
      if (qint64(scan.end - scan.data) * 8 < blocks) return false;
    }
    // Stripes of whole MCU rows (block rows, for one component alone) that the store may hold.
    qint64 perRow = 0;
    for (const ComponentStore& store : layout_) {
      perRow += qint64(store.rowsPerStripeRow) * store.wide *
                (qint64(store.perBlock) * qint64(sizeof(int16_t)) +
                 (store.refinesAc ? qint64(sizeof(uint64_t)) : 0));
    }
    rows_ = single_ ? layout_[0].high : mcusHigh_;
    stripeRows_ = int(std::clamp<qint64>(storeBytes_ / std::max<qint64>(perRow, 1), 1, rows_));
    return true;
  }

  // Makes `stores` hold the stripe of rows [top, bottom), all its coefficients zero.
  static void hold(std::vector<ComponentStore>& stores, int top, int bottom) {
    for (ComponentStore& store : stores) {
      const int first = top * store.rowsPerStripeRow;
      const int end = std::min(store.high, bottom * store.rowsPerStripeRow);
      const size_t blocks = size_t(end - first) * size_t(store.wide);
      store.firstBlock = size_t(first) * size_t(store.wide);
      store.values.assign(blocks * size_t(store.perBlock), 0);
      if (store.refinesAc) store.nonzero.assign(blocks, 0);
    }
  }

  bool start(ScanCursor& at) {
    const ProgressiveScan& scan = *at.scan;
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

  // Decodes the scan on from where it stands to the end of the stripe held in `stores`, which
  // ends at row `bottom`. Gives up at the start of a row once the decode is asked to stop.
  bool decodeScan(ScanCursor& at, std::vector<ComponentStore>& stores, int bottom) {
    const ProgressiveScan& scan = *at.scan;
    // Copies, which the compiler keeps in registers where the cursor's fields would be reloaded
    // after every byte read; stored back once this stripe's part of the scan is done.
    BitReader in = at.in;
    const std::vector<HuffmanDecoder>&dc = at.dc, &ac = at.ac;
    std::array<int, 4> lastDc = at.lastDc;
    int eobRun = at.eobRun, nextRestart = at.nextRestart;
    qint64 unit = at.unit;
    const ComponentStore& first = stores[size_t(scan.components[0])];
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
      if (column == 0 && (stop_.stop_requested() || abandoned_)) return false;
      for (size_t i = 0; i < scan.components.size(); ++i) {
        ComponentStore& store = stores[size_t(scan.components[i])];
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
      // Only the coefficients already nonzero take a correction bit: straight to each of them.
      if (k <= scan.se) {
        const uint64_t upTo = scan.se == 63 ? ~uint64_t(0) : (uint64_t(1) << (scan.se + 1)) - 1;
        for (uint64_t pending = nonzero & upTo & ~((uint64_t(1) << k) - 1); pending != 0;
             pending &= pending - 1) {
          if (in.bits(1)) refine(store, b, std::countr_zero(pending), p1);
        }
      }
      --eobRun;
    }
    return true;
  }

  // The stream's headers: the file's APP segments, then a quantisation table per component, an
  // extended sequential frame (sixteen-bit tables allowed), the stream's own Huffman tables and
  // one interleaved scan of every coefficient.
  void writeHeaders(QByteArray& out) const {
    out.append(char(0xFF)).append(char(M_SOI));
    for (const auto& [begin, end] : p_.appSegments) out.append(jpeg_.data() + begin, end - begin);
    const int count = int(p_.components.size());
    for (int c = 0; c < count; ++c) {
      const ProgressiveComponent& component = p_.components[size_t(c)];
      QByteArray body;
      body.append(char((component.quant16 ? 0x10 : 0) | c));
      for (uint16_t q : component.quant) {
        if (component.quant16) body.append(char(q >> 8));
        body.append(char(q & 0xFF));
      }
      Segment(out, M_DQT, body);
    }
    QByteArray frame;
    frame.append(char(8)).append(char(p_.height >> 8)).append(char(p_.height & 0xFF));
    frame.append(char(p_.width >> 8)).append(char(p_.width & 0xFF)).append(char(count));
    for (int c = 0; c < count; ++c) {
      const ProgressiveComponent& component = p_.components[size_t(c)];
      frame.append(char(component.id)).append(char(component.h << 4 | component.v)).append(char(c));
    }
    Segment(out, M_SOF1, frame);
    Segment(out, M_DHT, TableBody(0, dc_) + TableBody(1, ac_));
    QByteArray scan;
    scan.append(char(count));
    for (const ProgressiveComponent& component : p_.components) {
      scan.append(char(component.id)).append(char(0));
    }
    scan.append(char(0)).append(char(63)).append(char(0));
    Segment(out, M_SOS, scan);
  }

  // One block of component c, Huffman-coded with the stream's tables. False for a value the
  // tables cannot code (a DC difference or coefficient above 15 bits).
  bool writeBlock(ComponentStore& store, int c, size_t b) {
    const int16_t* block = store.block(b);
    const int diff = block[0] - lastDc_[size_t(c)];
    lastDc_[size_t(c)] = block[0];
    const int dcSize = SizeOf(diff);
    if (dcSize > 15) return false;
    const uint32_t dcExtra = uint32_t(diff < 0 ? diff - 1 : diff) & ((1u << dcSize) - 1);
    writer_.put(uint32_t(dc_.code[size_t(dcSize)]) << dcSize | dcExtra,
                dc_.length[size_t(dcSize)] + dcSize);
    int last = 0;
    const auto code = [&](int k, int value) {
      int run = k - last - 1;
      for (; run > 15; run -= 16) writer_.put(ac_.code[0xF0], ac_.length[0xF0]);
      const int size = SizeOf(value);
      if (size > 15) return false;
      const size_t symbol = size_t(run << 4 | size);
      const uint32_t extra = uint32_t(value < 0 ? value - 1 : value) & ((1u << size) - 1);
      writer_.put(uint32_t(ac_.code[symbol]) << size | extra, ac_.length[symbol] + size);
      last = k;
      return true;
    };
    if (!store.nonzero.empty()) {
      // Where refinements keep a bit for every nonzero coefficient: straight to each of them.
      for (uint64_t pending = store.nonzeroOf(b) & store.acMask; pending != 0;
           pending &= pending - 1) {
        const int k = std::countr_zero(pending);
        const int value = block[store.slot[size_t(k)]];  // zero only where it wrapped around
        if (value != 0 && !code(k, value)) return false;
      }
    } else {
      // The values after DC lie in the order of acRead, zigzag order; most are zero.
      const int count = int(store.acRead.size());
      for (int j = 0; j < count; ++j) {
        if ((j & 3) == 0 && j + 4 <= count) {
          uint64_t four;
          std::memcpy(&four, block + 1 + j, sizeof four);
          if (four == 0) {
            j += 3;
            continue;
          }
        }
        if (block[1 + j] != 0 && !code(store.acRead[size_t(j)], block[1 + j])) return false;
      }
    }
    if (last < 63) writer_.put(ac_.code[0], ac_.length[0]);
    return true;
  }

  // The blocks of the stripe's rows in the sequential scan's order: MCU by MCU, or block by block
  // for one component alone.
  bool writeStripe(std::vector<ComponentStore>& stores, int top, int bottom) {
    if (single_) {
      const size_t wide = size_t(stores[0].wide);
      for (size_t b = size_t(top) * wide; b < size_t(bottom) * wide; ++b) {
        if (!writeBlock(stores[0], 0, b)) return false;
      }
      return true;
    }
    for (int row = top; row < bottom; ++row) {
      for (int column = 0; column < mcusWide_; ++column) {
        for (int c = 0; c < int(p_.components.size()); ++c) {
          const ProgressiveComponent& component = p_.components[size_t(c)];
          ComponentStore& store = stores[size_t(c)];
          const size_t wide = size_t(store.wide);
          for (int y = 0; y < component.v; ++y) {
            for (int x = 0; x < component.h; ++x) {
              const size_t b =
                  size_t(row * component.v + y) * wide + size_t(column * component.h + x);
              if (!writeBlock(store, c, b)) return false;
            }
          }
        }
      }
    }
    return true;
  }

  const unsigned char* bytes_;
  const QByteArrayView jpeg_;
  const Progression& p_;
  const std::vector<int> idctSizes_;
  const qint64 storeBytes_;
  const std::stop_token stop_;
  bool single_ = false;
  int mcusWide_ = 0, mcusHigh_ = 0;
  int rows_ = 0, stripeRows_ = 0;       // MCU rows (block rows, for one component alone)
  std::vector<ComponentStore> layout_;  // each component's shape, no stripe held
  std::vector<std::vector<ComponentStore>> stripes_;  // one, or kStripesHeld on several threads
  std::vector<ScanCursor> cursors_;
  size_t split_ = 0;  // on several threads: the first scan of the second part
  std::atomic<bool> abandoned_{false};
  std::unique_ptr<Pipeline> pipeline_;
  const EncodingTable dc_ = DcTable(), ac_ = AcTable();
  BitWriter writer_;
  std::array<int, 4> lastDc_{};
  bool headerWritten_ = false;
  int top_ = 0;  // the next stripe's first row
};

// The three stages of a stream made on threads of its own, and the pieces they have made for its
// reader: the first part of the scans, the rest of them, and the writing of the blocks, each a
// stripe behind the one before it.
class SequentialStream::Transcoder::Pipeline {
 public:
  explicit Pipeline(Transcoder& t)
      : t_(t), stripes_((t.rows_ + t.stripeRows_ - 1) / t.stripeRows_) {
    stages_[0] = std::thread([this] { run([this] { return decodeScans(0); }); });
    stages_[1] = std::thread([this] { run([this] { return decodeScans(1); }); });
    stages_[2] = std::thread([this] { run([this] { return write(); }); });
  }
  ~Pipeline() {
    {
      const std::lock_guard lock(mutex_);
      quit_ = true;
    }
    t_.abandoned_ = true;  // a stage in the middle of a scan gives up at its next row
    changed_.notify_all();
    for (std::thread& stage : stages_) stage.join();
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // The next piece, waiting for it; false once the stream is over or a stage failed.
  bool take(QByteArray& out) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !pieces_.empty() || ended_ || failed_; });
    if (failed_ || pieces_.empty()) return false;
    out = std::move(pieces_.front());
    pieces_.pop_front();
    return true;
  }

 private:
  void run(const std::function<bool()>& stage) {
    bool done = false;
    try {
      done = stage();
    } catch (const std::exception&) {
    }
    if (!done) {
      const std::lock_guard lock(mutex_);
      failed_ = true;
    }
    changed_.notify_all();
  }

  int top(int k) const { return k * t_.stripeRows_; }
  int bottom(int k) const { return std::min(t_.rows_, top(k) + t_.stripeRows_); }
  std::vector<ComponentStore>& stripe(int k) { return t_.stripes_[size_t(k) % kStripesHeld]; }

  // Waits until the condition holds; false when the stream is given up meanwhile.
  template <typename Condition>
  bool waitFor(Condition condition) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return condition() || quit_ || failed_; });
    return !quit_ && !failed_;
  }

  void done(int stage, int k) {
    {
      const std::lock_guard lock(mutex_);
      done_[size_t(stage)] = k + 1;
    }
    changed_.notify_all();
  }

  // Part 0 of the scans holds each stripe as the writing frees one; part 1 follows part 0.
  bool decodeScans(int part) {
    const size_t from = part == 0 ? 0 : t_.split_;
    const size_t to = part == 0 ? t_.split_ : t_.cursors_.size();
    for (int k = 0; k < stripes_; ++k) {
      const bool ready = part == 0 ? waitFor([&] { return k - done_[2] < int(kStripesHeld); })
                                   : waitFor([&] { return done_[0] > k; });
      if (!ready) return false;
      if (part == 0) hold(stripe(k), top(k), bottom(k));
      for (size_t s = from; s < to; ++s) {
        if (!t_.decodeScan(t_.cursors_[s], stripe(k), bottom(k))) return false;
      }
      done(part, k);
    }
    return true;
  }

  bool write() {
    QByteArray piece;
    t_.writeHeaders(piece);
    push(std::move(piece));
    for (int k = 0; k < stripes_; ++k) {
      if (!waitFor([&] { return done_[1] > k; })) return false;
      piece = QByteArray();
      t_.writer_.into(piece);
      if (!t_.writeStripe(stripe(k), top(k), bottom(k))) return false;
      if (k + 1 == stripes_) t_.finish(piece);
      push(std::move(piece));
      done(2, k);
    }
    const std::lock_guard lock(mutex_);
    ended_ = true;
    return true;
  }

  void push(QByteArray piece) {
    {
      const std::lock_guard lock(mutex_);
      pieces_.push_back(std::move(piece));
    }
    changed_.notify_all();
  }

  Transcoder& t_;
  const int stripes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::array<int, 3> done_{};  // stripes each stage has finished
  std::deque<QByteArray> pieces_;
  bool ended_ = false;
  bool failed_ = false;
  bool quit_ = false;
  std::array<std::thread, 3> stages_;
};

bool SequentialStream::Transcoder::next(QByteArray& out) {
  if (pipeline_) return pipeline_->take(out);
  out.clear();
  writer_.into(out);
  if (!headerWritten_) {
    writeHeaders(out);
    headerWritten_ = true;
    return true;
  }
  if (top_ >= rows_) return false;
  const int bottom = std::min(rows_, top_ + stripeRows_);
  std::vector<ComponentStore>& stores = stripes_[0];
  hold(stores, top_, bottom);
  for (ScanCursor& cursor : cursors_) {
    if (!decodeScan(cursor, stores, bottom)) return false;
  }
  if (!writeStripe(stores, top_, bottom)) return false;
  top_ = bottom;
  if (top_ == rows_) finish(out);
  return true;
}

// Makes the stream on three threads besides the one that reads it: the first decodes the first
// part of the needed scans, the second the rest of them, the third writes the blocks, each a
// stripe behind the one before. Every scan depends only on those before it, so the first part of
// a stripe is complete before the second begins on it.
void SequentialStream::Transcoder::startPipeline() {
  // The two parts take about as long each. A byte of a refinement scan, a correction bit for
  // every coefficient already nonzero, takes some two and a half times as long to decode as a
  // byte of a first scan.
  const auto weight = [](const ProgressiveScan& scan) {
    return (scan.end - scan.data) * (scan.ah > 0 ? 5 : 2);
  };
  qint64 total = 0, first = 0;
  for (const ScanCursor& cursor : cursors_) total += weight(*cursor.scan);
  split_ = 0;
  while (split_ + 1 < cursors_.size() && 2 * (first + weight(*cursors_[split_].scan)) <= total) {
    first += weight(*cursors_[split_].scan);
    ++split_;
  }
  split_ = std::max<size_t>(split_, 1);
  stripes_.resize(kStripesHeld, stripes_[0]);
  pipeline_ = std::make_unique<Pipeline>(*this);
}

SequentialStream::Transcoder::~Transcoder() { pipeline_.reset(); }

SequentialStream::SequentialStream(std::unique_ptr<Transcoder> transcoder)
    : transcoder_(std::move(transcoder)) {}

SequentialStream::~SequentialStream() = default;

std::unique_ptr<SequentialStream> SequentialStream::Open(QByteArrayView jpeg,
                                                         const Progression& progression,
                                                         const std::vector<int>& idctSizes,
                                                         qint64 storeBytes, std::stop_token stop,
                                                         int threads) {
  auto transcoder =
      std::make_unique<Transcoder>(jpeg, progression, idctSizes, storeBytes, std::move(stop));
  if (!transcoder->open(threads)) return nullptr;
  return std::unique_ptr<SequentialStream>(new SequentialStream(std::move(transcoder)));
}

bool SequentialStream::next(QByteArray& out) { return transcoder_->next(out); }

std::optional<QByteArray> SequentialForScale(QByteArrayView jpeg, const Progression& progression,
                                             const std::vector<int>& idctSizes, qint64 storeBytes,
                                             int threads) {
  const std::unique_ptr<SequentialStream> stream =
      SequentialStream::Open(jpeg, progression, idctSizes, storeBytes, {}, threads);
  if (!stream) return std::nullopt;
  QByteArray whole, piece;
  while (stream->next(piece)) whole += piece;
  if (!whole.endsWith(QByteArray("\xFF\xD9", 2))) return std::nullopt;
  return whole;
}

}  // namespace brindlewick
