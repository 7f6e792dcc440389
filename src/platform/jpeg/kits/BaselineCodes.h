#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/jpeg/frame/JpegFrame.h"
#include "platform/jpeg/kits/HuffmanBits.h"

namespace brindlewick {

// The baseline code kit: what the decoders of a baseline scan's codes share, read as libjpeg's
// decode_mcu (jdhuff.c) reads them.

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
  bool build(const HuffmanTable& table);
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
  static std::optional<McuShape> For(const JpegFrame& scan, const std::vector<uint64_t>& read);
  McuShape() = default;
  McuShape(const McuShape&) = delete;
  McuShape& operator=(const McuShape&) = delete;
  McuShape(McuShape&&) = default;
  McuShape& operator=(McuShape&&) = default;
};

// The DC value each component's next block is predicted from. A decoder that started mid-data has
// them off by a constant per component from the true ones.
using DcPredictors = std::array<int, 4>;

// The AC coefficients of a block of which none is kept, read past several codes at a time where
// they fit in one look-up and end inside the block, one at a time elsewhere. False where
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

// The AC codes of one block, read by `next` one after another as libjpeg's decode_mcu reads them:
// `next(run)` reads a code with its extra bits and gives the coefficient (0 for a code without
// extra bits, which ends the block unless its run is 15, sixteen zeros) and the zeros before it in
// `run`; `take(k, value)` is handed each coefficient at its zigzag place. False for a coefficient
// past the end of the block, which libjpeg would not decode alike.
template <typename Next, typename Take>
[[gnu::always_inline]] inline bool ForEachAc(Next&& next, Take&& take) {
  for (int k = 1; k < 64; ++k) {
    int run;
    const int value = next(run);
    if (value == 0) {  // the end of the block, or sixteen zeros
      if (run != 15) return true;
      k += 15;
      continue;
    }
    k += run;
    if (k > 63) return false;
    take(k, value);
  }
  return true;
}

// Decodes `mcus` MCUs of a shape that keeps nothing after DC (every block with a skip table)
// from `in`, `dc` following the DC values as libjpeg's predictors do; false where libjpeg would
// not decode alike (a bad code, a coefficient past a block's end, a DC value past an int) or the
// data ends first.
bool SkipMcus(BitReader& in, DcPredictors& dc, const McuShape& shape, qint64 mcus);

}  // namespace brindlewick
