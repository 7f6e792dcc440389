// Huffman decoding of a baseline scan's data from a point in its middle, the way jdhuff.c decodes
// it from the start; the self-synchronisation it relies on is Klein and Wiseman's ("Parallel
// Huffman Decoding with Applications to JPEG Files", The Computer Journal 46(5), 2003).
//
// The bit reader and the output live in locals of PartDecoder::decodeRun while it decodes, handed
// by reference to helpers forced inline, so that they stay in registers (as in ScanDecoder.cpp).
#include "platform/jpeg/split/PartDecoder.h"

#include <algorithm>

#include "platform/jpeg/kits/EncodingTable.h"

namespace brindlewick {
namespace {

// Blocks of garbage before a part falls into step are few; a part with more anomalies than this
// is not used at all.
constexpr size_t kMaxAnomalies = 4096;
constexpr int kCheckpointMcus = 64;

class PartDecoder {
 public:
  PartDecoder(QByteArrayView jpeg, qsizetype dataEnd, const McuShape& shape,
              std::deque<Part>& parts, int index, const std::stop_token& stop)
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

// A block (at most 64 words written), its pruned bits written; false for what libjpeg would not
// decode alike: a bad code, a coefficient past the end of the block (which libjpeg would store
// as the last one), or a DC value summed past an int's range (which libjpeg lets wrap around:
// the file is left to it).
[[gnu::always_inline]] inline bool PartDecoder::decodeBlock(BitReader& in, RawBits::Cursor& out,
                                                            DcPredictors& dc,
                                                            const McuShape::Block& block) const {
  const int dcSize = in.decode(*block.dc);
  const int diff = Extend(in.bits(dcSize), dcSize);
  int& value = dc[size_t(block.component)];
  bool clean = !__builtin_add_overflow(value, diff, &value);
  PutDc(out, dc_, diff);
  if (block.skip) {
    clean &= SkipAc(in, block);
    PutEndOfBlock(out, ac_, 0);
    return !in.takeBadCode() && clean;
  }
  int last = 0;
  clean &= ForEachAc([&](int& run) { return ReadAc(in, *block.ac, run); },
                     [&](int k, int coefficient) {
                       if (block.keep >> k & 1) PutAc(out, ac_, k, last, coefficient);
                     });
  PutEndOfBlock(out, ac_, last);
  return !in.takeBadCode() && clean;
}

// Blocks up to `until` with nothing to look at in between, the reader and the writer in locals:
// it stops early once the bytes loaded reach `watch`, at an anomaly, and at the end of the data.
void PartDecoder::decodeRun(qint64 until, qsizetype watch) {
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
// part is decoded.
bool PartDecoder::step() {
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

void PartDecoder::mark() {
  Part& self = parts_[size_t(index_)];
  self.marks[size_t(block_)] = {in_.position(), phase_, out_.size(), predictors_};
  self.published.store(int(block_) + 1, std::memory_order_release);
  if (block_ + 1 == marks_) self.final.store(true, std::memory_order_release);
}

// Whether this block starts where one of the later part's marks does. Marks passed without a
// meeting, all the part will publish or all it has so far, hand the search on to the part after.
bool PartDecoder::meet() {
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
void PartDecoder::record(bool anomaly) {
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

PartOutcome PartDecoder::run() {
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

PartOutcome DecodePart(QByteArrayView jpeg, qsizetype dataEnd, const McuShape& shape,
                       std::deque<Part>& parts, int index, const std::stop_token& stop) {
  return PartDecoder(jpeg, dataEnd, shape, parts, index, stop).run();
}

}  // namespace brindlewick
