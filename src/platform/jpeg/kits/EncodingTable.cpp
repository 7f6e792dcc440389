// The tables the written streams code with, after jchuff.c.
#include "platform/jpeg/kits/EncodingTable.h"

#include <algorithm>

namespace brindlewick {

EncodingTable EncodingTable::Dc() {
  EncodingTable t;
  t.counts[3] = 6;  // sizes 0..5
  t.counts[6] = 10;
  for (int size = 0; size <= 15; ++size) t.symbols.push_back(uint8_t(size));
  t.finish();
  return t;
}

EncodingTable EncodingTable::Ac() {
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

std::optional<EncodingTable> EncodingTable::From(const HuffmanTable& table) {
  EncodingTable t;
  t.counts = table.counts;
  int total = 0;
  for (int length = 1; length <= 16; ++length) total += table.counts[size_t(length)];
  t.symbols.assign(table.symbols.begin(), table.symbols.begin() + std::min(total, 256));
  if (!t.finish()) return std::nullopt;
  return t;
}

bool EncodingTable::finish() {
  std::vector<uint16_t> codes;
  std::vector<uint8_t> lengths;
  if (!CanonicalCodes(counts, codes, lengths)) return false;
  for (size_t i = 0; i < std::min(symbols.size(), codes.size()); ++i) {
    code[symbols[i]] = codes[i];
    length[symbols[i]] = lengths[i];
  }
  return true;
}

}  // namespace brindlewick
