#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/jpeg/frame/JpegFrame.h"

namespace brindlewick {

// A Huffman table for writing: every DC size and every AC run/size a 16-bit coefficient can
// need, shorter codes for the small sizes and short runs that are common.
struct EncodingTable {
  static EncodingTable Dc();
  static EncodingTable Ac();
  // A file's own table, for writing codes as the file does: length 0 for a symbol it lacks; none
  // for a table libjpeg refuses.
  static std::optional<EncodingTable> From(const HuffmanTable& table);

  std::array<uint8_t, 17> counts{};
  std::vector<uint8_t> symbols;
  std::array<uint16_t, 256> code{};
  std::array<uint8_t, 256> length{};

 private:
  bool finish();
};

// For writing, the bits a value needs, and the extra bits written after its symbol (negative
// values one less).
inline int SizeOf(int value) { return std::bit_width(unsigned(value < 0 ? -value : value)); }
inline uint32_t Extra(int value, int size) {
  return uint32_t(value < 0 ? value - 1 : value) & ((1u << size) - 1);
}

// A DC difference into `out` (anything with put(bits, count)), coded with `table`; false where it
// takes more than 15 bits, which no table codes.
template <typename Bits>
[[gnu::always_inline]] inline bool PutDc(Bits& out, const EncodingTable& table, int diff) {
  const int size = SizeOf(diff);
  if (size > 15) return false;
  out.put(uint32_t(table.code[size_t(size)]) << size | Extra(diff, size),
          table.length[size_t(size)] + size);
  return true;
}

// The coefficient `value` at zigzag place `k`, after the one kept at `last`, coded with `table`:
// a code of sixteen zeros for each sixteen between them, then its run and size with its extra
// bits. False where it takes more than 15 bits.
template <typename Bits>
[[gnu::always_inline]] inline bool PutAc(Bits& out, const EncodingTable& table, int k, int& last,
                                         int value) {
  int run = k - last - 1;
  for (; run > 15; run -= 16) out.put(table.code[0xF0], table.length[0xF0]);
  const int size = SizeOf(value);
  if (size > 15) return false;
  const size_t symbol = size_t(run << 4 | size);
  out.put(uint32_t(table.code[symbol]) << size | Extra(value, size), table.length[symbol] + size);
  last = k;
  return true;
}

// The end of a block whose last coefficient kept is at `last`, where it is not the 63rd.
template <typename Bits>
[[gnu::always_inline]] inline void PutEndOfBlock(Bits& out, const EncodingTable& table, int last) {
  if (last < 63) out.put(table.code[0], table.length[0]);
}

}  // namespace brindlewick
