// Huffman decoding of a baseline scan's data from a point in its middle, the way jdhuff.c decodes
// it from the start; the self-synchronisation it relies on is Klein and Wiseman's ("Parallel
// Huffman Decoding with Applications to JPEG Files", The Computer Journal 46(5), 2003).
//
// The bit reader and the output live in locals of Walk::run while it decodes, handed by reference
// to helpers forced inline, so that they stay in registers (as in ScanDecoder.cpp).
#include "platform/jpeg/fast/PartDecoder.h"

#include <cstring>

#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/fast/SequentialWriter.h"

namespace brindlewick {
namespace {

// Blocks of garbage before a part falls into step are few; a part with more anomalies than this
// is not used at all.
constexpr size_t kMaxAnomalies = 4096;

uint32_t Extra(int value, int size) {
  return uint32_t(value < 0 ? value - 1 : value) & ((1u << size) - 1);
}

class Walk {
 public:
  Walk(QByteArrayView jpeg, qsizetype dataEnd, const McuShape& shape, std::deque<Part>& parts,
       int index, const std::stop_token& stop)
      : bytes_(reinterpret_cast<const unsigned char*>(jpeg.data())),
        end_(dataEnd),
        shape_(shape),
        parts_(parts),
        index_(index),
        stop_(stop) {}

  PartOutcome run();

 private:
  bool decodeBlock(BitReader& in, RawBits& out, const McuShape::Block& block) const;
  void mark(const BitReader& in, const RawBits& out, qint64 block, int phase);
  bool meet(const BitReader& in, const RawBits& out, qint64 block, int phase);
  void record(const BitReader& in, const RawBits& out, qint64 block, bool anomaly);

  const unsigned char* bytes_;
  const qsizetype end_;
  const McuShape& shape_;
  std::deque<Part>& parts_;
  const int index_;
  const std::stop_token& stop_;
  const EncodingTable dc_ = EncodingTable::Dc(), ac_ = EncodingTable::Ac();
  PartOutcome outcome_;
  int target_ = 0;  // the later part being looked for
  int next_ = 0;    // its first mark not yet passed
};

// One block, its pruned bits written; false for what libjpeg would not decode alike: a bad code, or
// a coefficient past the end of the block (which libjpeg would store as the last one).
[[gnu::always_inline]] inline bool Walk::decodeBlock(BitReader& in, RawBits& out,
                                                     const McuShape::Block& block) const {
  const int dcSize = in.decode(*block.dc);
  const int diff = Extend(in.bits(dcSize), dcSize);
  out.put(uint32_t(dc_.code[size_t(dcSize)]) << dcSize | Extra(diff, dcSize),
          dc_.length[size_t(dcSize)] + dcSize);
  int last = 0;
  bool clean = true;
  for (int k = 1; k < 64; ++k) {
    const int symbol = in.decode(*block.ac), run = symbol >> 4, size = symbol & 15;
    if (size == 0) {
      if (run != 15) break;
      k += 15;
      continue;
    }
    k += run;
    const int bits = in.bits(size);
    if (k > 63) {
      clean = false;
      break;
    }
    if ((block.keep >> k & 1) == 0) continue;
    int zeros = k - last - 1;
    for (; zeros > 15; zeros -= 16) out.put(ac_.code[0xF0], ac_.length[0xF0]);
    const size_t coded = size_t(zeros << 4 | size);
    out.put(uint32_t(ac_.code[coded]) << size | Extra(Extend(bits, size), size),
            ac_.length[coded] + size);
    last = k;
  }
  if (last < 63) out.put(ac_.code[0], ac_.length[0]);
  return !in.takeBadCode() && clean;
}

void Walk::mark(const BitReader& in, const RawBits& out, qint64 block, int phase) {
  Part& self = parts_[size_t(index_)];
  self.marks[size_t(block)] = {in.position(), phase, out.size()};
  self.published.store(int(block) + 1, std::memory_order_release);
  if (size_t(block) + 1 == self.marks.size()) self.final.store(true, std::memory_order_release);
}

// Whether this block starts where one of the later part's marks does. Marks passed without a
// meeting, all the part will publish or all it has so far, hand the search on to the part after.
bool Walk::meet(const BitReader& in, const RawBits& out, qint64 block, int phase) {
  Part& part = parts_[size_t(target_)];
  const bool final = part.final.load(std::memory_order_acquire);
  const int published = part.published.load(std::memory_order_acquire);
  const qint64 position = in.position();
  while (next_ < published && part.marks[size_t(next_)].position < position) ++next_;
  if (next_ < published) {
    if (part.marks[size_t(next_)].position != position ||
        part.marks[size_t(next_)].phase != phase) {
      return false;
    }
    outcome_.metPart = target_;
    outcome_.metMark = next_;
    outcome_.metBlock = block;
    outcome_.metRaw = out.size();
    return true;
  }
  if (position < part.cut * 8) return false;
  if (!final) part.overtaken.store(true, std::memory_order_relaxed);
  ++target_;
  next_ = 0;
  return false;
}

// What the end of the data and the anomalies need kept of a block just decoded.
void Walk::record(const BitReader& in, const RawBits& out, qint64 block, bool anomaly) {
  if (anomaly) {
    if (outcome_.anomalies.size() == kMaxAnomalies) outcome_.tooManyAnomalies = true;
    if (!outcome_.tooManyAnomalies) outcome_.anomalies.push_back(block);
  }
  if (in.loadedTo() + 8 >= end_) {
    const qint64 position = in.position();
    if (position > qint64(end_) * 8 - 64 && position <= qint64(end_) * 8) {
      outcome_.tail.push_back({block + 1, position, out.size()});
    }
  }
}

PartOutcome Walk::run() {
  Part& self = parts_[size_t(index_)];
  BitReader in(bytes_, self.cut, end_);
  RawBits out;
  target_ = index_ + 1;
  const int perMcu = int(shape_.blocks.size());
  const qint64 marks = index_ == 0 ? 0 : qint64(self.marks.size());
  const qint64 total = shape_.totalBlocks();
  qint64 block = 0;
  for (qint64 mcu = 0; block < total; ++mcu) {
    if ((mcu & 63) == 0 &&
        (stop_.stop_requested() || self.overtaken.load(std::memory_order_relaxed))) {
      outcome_.stopped = true;
      break;
    }
    for (int phase = 0; phase < perMcu && block < total; ++phase, ++block) {
      if (block < marks) mark(in, out, block, phase);
      if (target_ < int(parts_.size()) && in.loadedTo() > parts_[size_t(target_)].cut &&
          meet(in, out, block, phase)) {
        self.final.store(true, std::memory_order_release);
        out.finish();
        outcome_.raw = std::move(out);
        return std::move(outcome_);
      }
      const bool clean = decodeBlock(in, out, shape_.blocks[size_t(phase)]);
      if (in.readPastData()) {
        block = total;
        break;
      }
      record(in, out, block, !clean);
    }
  }
  self.final.store(true, std::memory_order_release);
  out.finish();
  outcome_.raw = std::move(out);
  return std::move(outcome_);
}

}  // namespace

void RawBits::finish() {
  if (count_ > 0) words_.push_back(uint32_t(buffer_ << (32 - count_)));
  count_ = 0;
}

uint32_t RawBits::read(uint64_t at, int n) const {
  const size_t word = size_t(at / 32);
  uint64_t pair = uint64_t(words_[word]) << 32;
  if (word + 1 < words_.size()) pair |= words_[word + 1];
  return uint32_t(pair << (at % 32) >> (64 - n));
}

std::optional<McuShape> McuShape::For(const Progression& scan, const std::vector<uint64_t>& read) {
  McuShape shape;
  const ProgressiveScan& only = scan.scans.front();
  shape.tables.resize(only.components.size() * 2);
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
    const ProgressiveComponent& component = scan.components[size_t(c)];
    const int count = single ? 1 : component.h * component.v;
    for (int b = 0; b < count; ++b) {
      shape.blocks.push_back(
          {c, &shape.tables[2 * i], &shape.tables[2 * i + 1], read[size_t(c)] & ~uint64_t(1)});
    }
  }
  if (shape.blocks.size() > 10) return std::nullopt;  // libjpeg's own limit
  const auto blocksAcross = [](qint64 pixels, int factor, int most) {
    return (pixels * factor + qint64(most) * 8 - 1) / (qint64(most) * 8);
  };
  if (single) {
    const ProgressiveComponent& c = scan.components[size_t(only.components[0])];
    shape.mcus = blocksAcross(scan.width, c.h, hMax) * blocksAcross(scan.height, c.v, vMax);
  } else {
    shape.mcus = blocksAcross(scan.width, 1, hMax) * blocksAcross(scan.height, 1, vMax);
  }
  return shape;
}

PartOutcome DecodePart(QByteArrayView jpeg, qsizetype dataEnd, const McuShape& shape,
                       std::deque<Part>& parts, int index, const std::stop_token& stop) {
  return Walk(jpeg, dataEnd, shape, parts, index, stop).run();
}

}  // namespace brindlewick
