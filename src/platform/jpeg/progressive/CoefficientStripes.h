#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QtGlobal>

namespace brindlewick {

struct JpegFrame;

// The coefficients of one component that the scale reads, block by block, for the stripe of rows
// held; block numbers count over the whole grid of blocks the component's MCUs cover.
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
  const int16_t* block(size_t b) const {
    return values.data() + (b - firstBlock) * size_t(perBlock);
  }
  uint64_t& nonzeroOf(size_t b) { return nonzero[b - firstBlock]; }
  uint64_t nonzeroOf(size_t b) const { return nonzero[b - firstBlock]; }
};

// The store's stripes: rows of whole MCUs (block rows, for one component alone), as many as
// `storeBytes` holds and one at least, with each component's shape.
struct StripeLayout {
  bool single = false;  // one component alone: its blocks in rows, not MCUs
  int mcusWide = 0, mcusHigh = 0;
  int rows = 0, stripeRows = 0;            // MCU rows (block rows, for one component alone)
  std::vector<ComponentStore> components;  // no stripe held

  int stripes() const { return (rows + stripeRows - 1) / stripeRows; }
  int top(int k) const { return k * stripeRows; }
  int bottom(int k) const { return std::min(rows, top(k) + stripeRows); }
};

// The layout for the coefficients each component's IDCT reads (`read`, bits of zigzag positions)
// from the needed scans. None when a sequential scan cannot carry the picture's MCUs, or when a
// needed DC scan is too short for the blocks the picture declares (a small file declaring a huge
// picture, found out before anything is allocated).
std::optional<StripeLayout> LayOutStripes(const JpegFrame& frame, const std::vector<uint64_t>& read,
                                          const std::vector<bool>& needed, qint64 storeBytes);

// One stripe of the store, handed from stage to stage of the pipeline.
struct CoefficientStripe {
  explicit CoefficientStripe(const StripeLayout& layout) : components(layout.components) {}
  // Holds the stripe of rows [top, bottom), all its coefficients zero.
  void hold(int top, int bottom);
  std::vector<ComponentStore> components;
};

}  // namespace brindlewick
