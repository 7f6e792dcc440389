// Huffman decoding of a baseline scan's data from a point in its middle, the way jdhuff.c decodes
// it from the start; the self-synchronisation it relies on is Klein and Wiseman's ("Parallel
// Huffman Decoding with Applications to JPEG Files", The Computer Journal 46(5), 2003).
//
// The bit reader and the output live in locals of Walk::decodeRun while it decodes, handed by
// reference to helpers forced inline, so that they stay in registers (as in ScanDecoder.cpp).
#include "platform/jpeg/fast/PartDecoder.h"

#include <algorithm>
#include <cstring>

#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/fast/SequentialWriter.h"

namespace brindlewick {
namespace {

// Blocks of garbage before a part falls into step are few; a part with more anomalies than this
// is not used at all.
constexpr size_t kMaxAnomalies = 4096;
constexpr int kCheckpointMcus = 64;

class Walk {
 public:
  Walk(QByteArrayView jpeg, qsizetype dataEnd, const McuShape& shape, std::deque<Part>& parts,
       int index, const std::stop_token& stop)
      : end_(dataEnd),
        shape_(shape),
        parts_(parts),
        index_(index),
        stop_(stop),
        in_(reinterpret_cast<const unsigned char*>(jpeg.data()), parts[size_t(index)].cut, dataEnd),
        marks_(index == 0 ? 0 : qint64(parts[size_t(index)].marks.size())),
        target_(index + 1) {}

  PartOutcome run();

 private:
  bool decodeBlock(BitReader& in, RawBits::Cursor& out, DcPredictors& dc,
                   const McuShape::Block& block) const;
  void decodeRun(qint64 until, qsizetype watch);
  bool step();
  void mark();
  bool meet();
  void record(bool anomaly);
  void advance() {
    ++block_;
    if (++phase_ == int(shape_.blocks.size())) phase_ = 0;
  }

  const qsizetype end_;
  const McuShape& shape_;
  std::deque<Part>& parts_;
  const int index_;
  const std::stop_token& stop_;
  const EncodingTable dc_ = EncodingTable::Dc(), ac_ = EncodingTable::Ac();
  BitReader in_;
  RawBits out_;
  qint64 block_ = 0;  // blocks decoded from the cut
  int phase_ = 0;     // the next block's place in its MCU
  DcPredictors predictors_{};
  const qint64 marks_;
  int target_;    // the later part being looked for
  int next_ = 0;  // its first mark not yet passed
  PartOutcome outcome_;
};

// The next AC code with its extra bits: the coefficient's value (0 for the end of the block and
// for sixteen zeros), and the zeros before it in `run`.
[[gnu::always_inline]] inline int ReadAc(BitReader& in, const HuffmanDecoder& table, int& run) {
  if (const int fast = in.fastAc(table)) {
    run = (fast >> 6) & 15;
    return fast >> 10;
  }
  const int symbol = in.decode(table), size = symbol & 15;
  run = symbol >> 4;
  return size == 0 ? 0 : Extend(in.bits(size), size);
}

// The next DC difference.
[[gnu::always_inline]] inline int ReadDc(BitReader& in, const HuffmanDecoder& table) {
  if (const int fast = in.fastAc(table)) return fast >> 10;
  const int size = in.decode(table);
  return Extend(in.bits(size), size);
}

// The AC coefficients of a block of which none is kept, read past several codes at a time where
// they fit in one look-up and end inside the block, one at a time as below elsewhere. False where
// libjpeg would not decode alike (a coefficient past the end of the block).
[[gnu::always_inline]] inline bool SkipAc(BitReader& in, const McuShape::Block& block) {
  int k = 1;
  while (k < 64) {
    const int entry = block.skip->at(in.peek(SkipTable::kBits));
    const int ends = entry >> 6 & 1, moves = entry >> 7;
    if (entry != 0 && k + moves + ends <= 64) {
      in.skip(entry & 63);
      if (ends) return true;
      k += moves;
      continue;
    }
    int run;
    if (ReadAc(in, *block.ac, run) == 0) {  // the end of the block, or sixteen zeros
      if (run != 15) return true;
      k += 16;
      continue;
    }
    k += run;
    if (k > 63) return false;
    ++k;
  }
  return true;
}

// A block (at most 64 words written), its pruned bits written; false for what libjpeg would not
// decode alike: a bad code, a coefficient past the end of the block (which libjpeg would store
// as the last one), or a DC value summed past an int's range (which libjpeg lets wrap around:
// the file is left to it).
[[gnu::always_inline]] inline bool Walk::decodeBlock(BitReader& in, RawBits::Cursor& out,
                                                     DcPredictors& dc,
                                                     const McuShape::Block& block) const {
  const int dcSize = in.decode(*block.dc);
  const int diff = Extend(in.bits(dcSize), dcSize);
  int& value = dc[size_t(block.component)];
  bool clean = !__builtin_add_overflow(value, diff, &value);
  out.put(uint32_t(dc_.code[size_t(dcSize)]) << dcSize | Extra(diff, dcSize),
          dc_.length[size_t(dcSize)] + dcSize);
  if (block.skip) {
    clean &= SkipAc(in, block);
    out.put(ac_.code[0], ac_.length[0]);
    return !in.takeBadCode() && clean;
  }
  int last = 0;
  for (int k = 1; k < 64; ++k) {
    int run;
    const int value = ReadAc(in, *block.ac, run);
    if (value == 0) {  // the end of the block, or sixteen zeros
      if (run != 15) break;
      k += 15;
      continue;
    }
    k += run;
    if (k > 63) {
      clean = false;
      break;
    }
    if ((block.keep >> k & 1) == 0) continue;
    const int size = SizeOf(value);
    int zeros = k - last - 1;
    for (; zeros > 15; zeros -= 16) out.put(ac_.code[0xF0], ac_.length[0xF0]);
    const size_t coded = size_t(zeros << 4 | size);
    out.put(uint32_t(ac_.code[coded]) << size | Extra(value, size), ac_.length[coded] + size);
    last = k;
  }
  if (last < 63) out.put(ac_.code[0], ac_.length[0]);
  return !in.takeBadCode() && clean;
}

// Blocks up to `until` with nothing to look at in between, the reader and the writer in locals:
// it stops early once the bytes loaded reach `watch`, at an anomaly, and at the end of the data.
void Walk::decodeRun(qint64 until, qsizetype watch) {
  BitReader in = in_;
  RawBits::Cursor out = out_.cursor(size_t(until - block_) * 64);
  const McuShape::Block* blocks = shape_.blocks.data();
  const int perMcu = int(shape_.blocks.size());
  qint64 block = block_;
  int phase = phase_;
  DcPredictors dc = predictors_;
  bool clean = true;
  while (block < until && in.loadedTo() < watch && clean) {
    clean = decodeBlock(in, out, dc, blocks[phase]);
    if (in.readPastData()) break;
    ++block;
    if (++phase == perMcu) phase = 0;
  }
  in_ = in;
  out_.take(out);
  block_ = block;
  phase_ = phase;
  predictors_ = dc;
  if (in_.readPastData()) block_ = shape_.totalBlocks();  // over: the block was not in the data
  if (!clean) record(true);
}

// One block with everything looked at: a mark, a meeting, the end of the data. False once the
// walk is over.
bool Walk::step() {
  if (block_ < marks_) mark();
  if (target_ < int(parts_.size()) && in_.loadedTo() > parts_[size_t(target_)].cut && meet()) {
    return false;
  }
  RawBits::Cursor out = out_.cursor(64);
  const bool clean = decodeBlock(in_, out, predictors_, shape_.blocks[size_t(phase_)]);
  out_.take(out);
  if (in_.readPastData()) return false;
  advance();
  record(!clean);
  return true;
}

void Walk::mark() {
  Part& self = parts_[size_t(index_)];
  self.marks[size_t(block_)] = {in_.position(), phase_, out_.size(), predictors_};
  self.published.store(int(block_) + 1, std::memory_order_release);
  if (block_ + 1 == marks_) self.final.store(true, std::memory_order_release);
}

// Whether this block starts where one of the later part's marks does. Marks passed without a
// meeting, all the part will publish or all it has so far, hand the search on to the part after.
bool Walk::meet() {
  Part& part = parts_[size_t(target_)];
  const bool final = part.final.load(std::memory_order_acquire);
  const int published = part.published.load(std::memory_order_acquire);
  const qint64 position = in_.position();
  while (next_ < published && part.marks[size_t(next_)].position < position) ++next_;
  if (next_ < published) {
    const BlockMark& mark = part.marks[size_t(next_)];
    if (mark.position != position || mark.phase != phase_) return false;
    outcome_.metPart = target_;
    outcome_.metMark = next_;
    outcome_.metBlock = block_;
    outcome_.metRaw = out_.size();
    outcome_.metDc = predictors_;
    return true;
  }
  if (position < part.cut * 8) return false;
  if (!final) part.overtaken.store(true, std::memory_order_relaxed);
  ++target_;
  next_ = 0;
  return false;
}

// What the end of the data and the anomalies need kept of the block just decoded.
void Walk::record(bool anomaly) {
  if (anomaly) {
    if (outcome_.anomalies.size() == kMaxAnomalies) outcome_.tooManyAnomalies = true;
    if (!outcome_.tooManyAnomalies) outcome_.anomalies.push_back(block_ - 1);
  }
  if (in_.loadedTo() + 8 >= end_) {
    const qint64 position = in_.position();
    if (position > qint64(end_) * 8 - 64 && position <= qint64(end_) * 8) {
      outcome_.tail.push_back({block_, position, out_.size()});
    }
  }
}

PartOutcome Walk::run() {
  Part& self = parts_[size_t(index_)];
  const qint64 total = shape_.totalBlocks();
  // Room for as many bits as the rest of the data holds, which the pruned blocks seldom pass:
  // never touched before it is written, it spares the copies of growing.
  out_.cursor(size_t(end_ - self.cut) / 4 + size_t(kCheckpointMcus) * 64 * 10);
  // Runs of blocks short enough that a stop is heard within a fraction of a millisecond, each
  // ending on an MCU's first block, where a checkpoint is kept.
  const int perMcu = int(shape_.blocks.size());
  const qint64 run = qint64(kCheckpointMcus) * perMcu;
  qint64 checkpoint = 0;
  while (block_ < total) {
    if (phase_ == 0 && block_ >= checkpoint) {
      outcome_.checkpoints.push_back({block_, 0, out_.size(), predictors_});
      checkpoint = block_ + run;
    }
    if (stop_.stop_requested() || self.overtaken.load(std::memory_order_relaxed)) {
      outcome_.stopped = true;
      break;
    }
    const qsizetype cut = target_ < int(parts_.size()) ? parts_[size_t(target_)].cut : end_;
    // Every block that ends in the last bytes of the data goes through step(), and no block is
    // longer than this.
    constexpr qsizetype kLongestBlock = 512;  // bytes, stuffing included
    const qsizetype watch = std::min(cut, end_ - 8 - kLongestBlock);
    if (block_ < marks_ || in_.loadedTo() >= watch) {
      if (!step()) break;
    } else {
      decodeRun(std::min(total, block_ + run - phase_), watch);
    }
  }
  self.final.store(true, std::memory_order_release);
  out_.finish();
  outcome_.raw = std::move(out_);
  return std::move(outcome_);
}

}  // namespace

RawBits::Cursor RawBits::cursor(size_t words) {
  if (room_ < used_ + words) {
    room_ = std::max(room_ * 2, used_ + words);
    std::unique_ptr<uint32_t[]> more = std::make_unique_for_overwrite<uint32_t[]>(room_);
    std::copy_n(words_.get(), used_, more.get());
    words_ = std::move(more);
  }
  return {buffer_, count_, words_.get() + used_};
}

void RawBits::take(const Cursor& cursor) {
  used_ = size_t(cursor.next - words_.get());
  buffer_ = cursor.buffer;
  count_ = cursor.count;
}

void RawBits::finish() {
  if (count_ > 0) {
    cursor(1);
    words_[used_++] = uint32_t(buffer_ << (32 - count_));
  }
  count_ = 0;
}

uint32_t RawBits::read(uint64_t at, int n) const {
  const size_t word = size_t(at / 32);
  uint64_t pair = uint64_t(words_[word]) << 32;
  if (word + 1 < used_) pair |= words_[word + 1];
  return uint32_t(pair << (at % 32) >> (64 - n));
}

std::optional<McuShape> McuShape::For(const Progression& scan, const std::vector<uint64_t>& read) {
  McuShape shape;
  const ProgressiveScan& only = scan.scans.front();
  shape.tables.resize(only.components.size() * 2);
  shape.skips.resize(only.components.size());
  int hMax = 1, vMax = 1;
  for (const ProgressiveComponent& c : scan.components) {
    hMax = std::max(hMax, c.h);
    vMax = std::max(vMax, c.v);
  }
  const bool single = only.components.size() == 1;
  for (size_t i = 0; i < only.components.size(); ++i) {
    const HuffmanTable& dc = scan.tables[size_t(only.dcTable[i])];
    const HuffmanTable& ac = scan.tables[size_t(only.acTable[i])];
    if (!shape.tables[2 * i].build(dc.counts, dc.symbols, true) ||
        !shape.tables[2 * i + 1].build(ac.counts, ac.symbols, false)) {
      return std::nullopt;
    }
    const int c = only.components[i];
    const uint64_t keep = read[size_t(c)] & ~uint64_t(1);
    const SkipTable* skip = nullptr;
    if (keep == 0) {
      if (!shape.skips[i].build(ac.counts, ac.symbols)) return std::nullopt;
      skip = &shape.skips[i];
    }
    const ProgressiveComponent& component = scan.components[size_t(c)];
    const int count = single ? 1 : component.h * component.v;
    for (int b = 0; b < count; ++b) {
      shape.blocks.push_back({c, &shape.tables[2 * i], &shape.tables[2 * i + 1], keep, skip});
    }
  }
  if (shape.blocks.size() > 10) return std::nullopt;  // libjpeg's own limit
  const auto blocksAcross = [](qint64 pixels, int factor, int most) {
    return (pixels * factor + qint64(most) * 8 - 1) / (qint64(most) * 8);
  };
  const ProgressiveComponent& first = scan.components[size_t(only.components[0])];
  shape.mcusWide = blocksAcross(scan.width, single ? first.h : 1, hMax);
  shape.mcusHigh = blocksAcross(scan.height, single ? first.v : 1, vMax);
  shape.mcus = shape.mcusWide * shape.mcusHigh;
  return shape;
}

bool SkipTable::build(const std::array<uint8_t, 17>& counts,
                      const std::array<uint8_t, 256>& symbols) {
  std::vector<uint16_t> codes;
  std::vector<uint8_t> lengths;
  if (!CanonicalCodes(counts, codes, lengths)) return false;
  // One code with its extra bits at each look-up: bits, whether it ends the block, and how far it
  // moves the place (16 for sixteen zeros, the run and one for a coefficient).
  struct One {
    int bits = 0;
    bool ends = false;
    int moves = 0;
  };
  std::vector<One> one(size_t(1) << kBits);
  for (size_t i = 0; i < codes.size(); ++i) {
    const int length = lengths[i], run = symbols[i] >> 4, size = symbols[i] & 15;
    // Symbols libjpeg reads otherwise (a run without a size) go the long way.
    if ((size == 0 && run != 0 && run != 15) || length + size > kBits) continue;
    const One code{length + size, size == 0 && run == 0,
                   size == 0 ? (run == 15 ? 16 : 0) : run + 1};
    const int free = kBits - length;
    std::fill_n(one.begin() + (codes[i] << free), 1 << free, code);
  }
  for (unsigned index = 0; index < entries_.size(); ++index) {
    int used = 0, moves = 0;
    bool ends = false;
    while (!ends) {
      const One& next = one[(index << used) & ((1u << kBits) - 1)];
      if (next.bits == 0 || next.bits > kBits - used) break;
      used += next.bits;
      moves += next.moves;
      ends = next.ends;
    }
    entries_[index] = uint16_t(moves << 7 | int(ends) << 6 | used);
  }
  return true;
}

bool SkipMcus(BitReader& in, DcPredictors& dc, const McuShape& shape, qint64 mcus) {
  BitReader local = in;
  DcPredictors values = dc;
  bool clean = true;
  for (qint64 m = 0; m < mcus && clean; ++m) {
    for (const McuShape::Block& block : shape.blocks) {
      // Differences summed past an int's range wrap around in libjpeg: such a file is left to it.
      int& value = values[size_t(block.component)];
      clean &= !__builtin_add_overflow(value, ReadDc(local, *block.dc), &value);
      clean &= SkipAc(local, block);
    }
    clean &= !local.takeBadCode() && !local.readPastData();
  }
  in = local;
  dc = values;
  return clean;
}

PartOutcome DecodePart(QByteArrayView jpeg, qsizetype dataEnd, const McuShape& shape,
                       std::deque<Part>& parts, int index, const std::stop_token& stop) {
  return Walk(jpeg, dataEnd, shape, parts, index, stop).run();
}

}  // namespace brindlewick
