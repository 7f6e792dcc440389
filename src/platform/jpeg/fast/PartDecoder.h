#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include <QByteArrayView>

#include "platform/jpeg/fast/HuffmanBits.h"

namespace brindlewick {

struct Progression;

// Bits written one after another without byte stuffing, for copying into a stream later from
// any bit on. Written through a cursor, a value the writer keeps in registers while it works.
class RawBits {
 public:
  struct Cursor {
    // At most 31 bits at a time.
    void put(uint32_t bits, int n) {
      buffer = buffer << n | (bits & ((uint32_t(1) << n) - 1));
      count += n;
      if (count >= 32) {
        count -= 32;
        *next++ = uint32_t(buffer >> count);
      }
    }
    uint64_t buffer;
    int count;
    uint32_t* next;
  };
  // A cursor with room for `words` more words.
  Cursor cursor(size_t words);
  // Where the cursor has got to.
  void take(const Cursor& cursor);

  uint64_t size() const { return uint64_t(used_) * 32 + uint64_t(count_); }
  // The bits not yet in a whole word, into one; nothing may be put after.
  void finish();
  // The `n` bits (at most 32) from bit `at` on; all of them written and finished.
  uint32_t read(uint64_t at, int n) const;

 private:
  // Room for words, of which the first used_ are written; never filled in advance, so that pages
  // not yet written are never touched.
  std::unique_ptr<uint32_t[]> words_;
  size_t room_ = 0, used_ = 0;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

// For the AC coefficients of a block of which none is kept (luma at 1/8): every look-up of the next
// kBits bits skips as many whole codes, with their extra bits, as lie in them, up to the end of
// the block. An entry holds the bits skipped (lowest, so that consuming them needs no mask), a
// flag for an end of block among them (the last), and how far they move the coefficient's place;
// 0 where not even one code fits.
class SkipTable {
 public:
  // Fourteen bits pass a tenth faster over the 24 and 48 MP photos than twelve; fifteen and
  // sixteen are no faster, their tables no longer staying in the first-level cache.
  static constexpr int kBits = 14;
  // False for a table libjpeg refuses.
  bool build(const std::array<uint8_t, 17>& counts, const std::array<uint8_t, 256>& symbols);
  int at(unsigned bits) const { return entries_[bits]; }

 private:
  std::array<uint16_t, 1 << kBits> entries_{};
};

// What the blocks of the scan's MCUs are: the tables each is decoded with, and the coefficients
// after DC that the scale's IDCT reads (bits of zigzag positions), which are all that is kept.
struct McuShape {
  struct Block {
    int component = 0;
    const HuffmanDecoder* dc = nullptr;
    const HuffmanDecoder* ac = nullptr;
    uint64_t keep = 0;
    const SkipTable* skip = nullptr;  // when nothing after DC is kept
  };
  std::vector<HuffmanDecoder> tables;
  std::vector<SkipTable> skips;
  std::vector<Block> blocks;  // of one MCU, in order
  qint64 mcusWide = 0, mcusHigh = 0;
  qint64 mcus = 0;  // in the scan

  qint64 totalBlocks() const { return mcus * qint64(blocks.size()); }
  // None for a table libjpeg refuses, or for more blocks per MCU than it allows.
  static std::optional<McuShape> For(const Progression& scan, const std::vector<uint64_t>& read);
  McuShape() = default;
  McuShape(const McuShape&) = delete;
  McuShape& operator=(const McuShape&) = delete;
  McuShape(McuShape&&) = default;
  McuShape& operator=(McuShape&&) = default;
};

// The DC value each component's next block is predicted from, as a decoder that started mid-data
// has it: off by a constant from the true one until the chain of parts mends it.
using DcPredictors = std::array<int, 4>;

// Where a block starts: the input bit (BitReader::position), its place in the MCU, where its
// pruned bits start in the part's output, and the DC predictors before it.
struct BlockMark {
  qint64 position = 0;
  int phase = 0;
  uint64_t raw = 0;
  DcPredictors dc{};
};

// A part of the scan's entropy-coded data, [cut, end of the data), as its decoder goes through
// it: the block starts it records for the part before to meet, published as it goes.
struct Part {
  explicit Part(qsizetype cut, int marks) : cut(cut), marks(size_t(marks)) {}
  const qsizetype cut;
  std::vector<BlockMark> marks;
  std::atomic<int> published{0};
  std::atomic<bool> final{false};      // no more marks will come
  std::atomic<bool> overtaken{false};  // the part before went past its marks: its work is moot
};

// How a part's decoder ended.
struct PartOutcome {
  RawBits raw;
  std::vector<qint64> anomalies;  // blocks (counted from the part's start) libjpeg would not pass
  bool tooManyAnomalies = false;
  // Where it met a later part: that part's mark, its own block count, output and predictors there.
  int metPart = -1, metMark = -1;
  qint64 metBlock = 0;
  uint64_t metRaw = 0;
  DcPredictors metDc{};
  // Every so many MCUs, at an MCU's first block: where its pruned bits start and the predictors
  // before it, from which the blocks after can be read back quickly.
  std::vector<BlockMark> checkpoints;  // `position` holds the block count
  // Its last blocks inside the data: blocks decoded, input position and output after each.
  struct End {
    qint64 blocks;
    qint64 position;
    uint64_t raw;
  };
  std::vector<End> tail;
  bool stopped = false;
};

// Decodes `mcus` MCUs of a shape that keeps nothing after DC (every block with a skip table)
// from `in`, `dc` following the DC values as libjpeg's predictors do; false where libjpeg would
// not decode alike (a bad code, a coefficient past a block's end, a DC value past an int) or the
// data ends first.
bool SkipMcus(BitReader& in, DcPredictors& dc, const McuShape& shape, qint64 mcus);

// Decodes part `index` of the scan's data from its cut to where it meets a later part (or to the
// end of the data), as if a block began at the cut with the MCU's first block: from the cut,
// Huffman codes fall into step with the true blocks within a few of them. Each block's DC
// difference and the coefficients kept are written again, with the tables of SequentialWriter,
// into the part's output. Every part but the first records its first block starts; every part
// checks, once into the next part, whether a block of its own starts where one of that part's
// does, in the same place in the MCU: from there on the two decode alike. A part whose marks it
// passes without meeting one is taken over, and the next one tried.
PartOutcome DecodePart(QByteArrayView jpeg, qsizetype dataEnd, const McuShape& shape,
                       std::deque<Part>& parts, int index, const std::stop_token& stop);

}  // namespace brindlewick
