#include "platform/jpeg/frame/JpegFrame.h"

namespace brindlewick {

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

bool TableTaken(const HuffmanTable& table, bool dc) {
  std::vector<uint16_t> codes;
  std::vector<uint8_t> lengths;
  if (!CanonicalCodes(table.counts, codes, lengths)) return false;
  for (size_t i = 0; i < codes.size() && dc; ++i) {
    if (table.symbols[i] > 15) return false;
  }
  return true;
}

}  // namespace brindlewick
