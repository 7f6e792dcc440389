#include "platform/jpeg/kits/BaselineCodes.h"

#include <algorithm>

namespace brindlewick {

std::optional<McuShape> McuShape::For(const JpegFrame& scan, const std::vector<uint64_t>& read) {
  McuShape shape;
  const FrameScan& only = scan.scans.front();
  shape.tables.resize(only.components.size() * 2);
  shape.skips.resize(only.components.size());
  int hMax = 1, vMax = 1;
  for (const FrameComponent& c : scan.components) {
    hMax = std::max(hMax, c.h);
    vMax = std::max(vMax, c.v);
  }
  const bool single = only.components.size() == 1;
  for (size_t i = 0; i < only.components.size(); ++i) {
    const HuffmanTable& dc = scan.tables[size_t(only.dcTable[i])];
    const HuffmanTable& ac = scan.tables[size_t(only.acTable[i])];
    if (!shape.tables[2 * i].build(dc, true) || !shape.tables[2 * i + 1].build(ac, false)) {
      return std::nullopt;
    }
    const int c = only.components[i];
    const uint64_t keep = read[size_t(c)] & ~uint64_t(1);
    const SkipTable* skip = nullptr;
    if (keep == 0) {
      if (!shape.skips[i].build(ac)) return std::nullopt;
      skip = &shape.skips[i];
    }
    const FrameComponent& component = scan.components[size_t(c)];
    const int count = single ? 1 : component.h * component.v;
    for (int b = 0; b < count; ++b) {
      shape.blocks.push_back({c, &shape.tables[2 * i], &shape.tables[2 * i + 1], keep, skip});
    }
  }
  if (shape.blocks.size() > 10) return std::nullopt;  // libjpeg's own limit
  const auto blocksAcross = [](qint64 pixels, int factor, int most) {
    return (pixels * factor + qint64(most) * 8 - 1) / (qint64(most) * 8);
  };
  const FrameComponent& first = scan.components[size_t(only.components[0])];
  shape.mcusWide = blocksAcross(scan.width, single ? first.h : 1, hMax);
  shape.mcusHigh = blocksAcross(scan.height, single ? first.v : 1, vMax);
  shape.mcus = shape.mcusWide * shape.mcusHigh;
  return shape;
}

bool SkipTable::build(const HuffmanTable& table) {
  const std::array<uint8_t, 256>& symbols = table.symbols;
  std::vector<uint16_t> codes;
  std::vector<uint8_t> lengths;
  if (!CanonicalCodes(table.counts, codes, lengths)) return false;
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

}  // namespace brindlewick
