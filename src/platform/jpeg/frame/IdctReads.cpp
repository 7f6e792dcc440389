#include "platform/jpeg/frame/IdctReads.h"

#include <array>

#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

// Zigzag position -> row * 8 + column.
constexpr std::array<int, 64> kNaturalOrder{
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

}  // namespace

uint64_t CoefficientsRead(int idctSize) {
  // jidctred.c's reduced IDCTs skip rows and columns 2, 4, 6 (2x2) or 4 (4x4) but read up to 7;
  // jidctint.c's others read the top-left corner.
  auto read = [idctSize](int line) {
    if (idctSize == 2) return line == 0 || line % 2 == 1;
    if (idctSize == 4) return line != 4;
    return line < idctSize;
  };
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k) {
    if (read(kNaturalOrder[size_t(k)] / 8) && read(kNaturalOrder[size_t(k)] % 8)) {
      mask |= uint64_t(1) << k;
    }
  }
  return mask;
}

std::vector<uint64_t> CoefficientsRead(const std::vector<int>& idctSizes) {
  std::vector<uint64_t> read;
  read.reserve(idctSizes.size());
  for (int size : idctSizes) read.push_back(CoefficientsRead(size));
  return read;
}

std::optional<std::vector<int>> IdctSizes(JpegSession& header, DecodeScale scale) {
  if (!header.calcOutputDimensions(scale)) return std::nullopt;
  std::vector<int> sizes;
  sizes.reserve(size_t(header.info().num_components));
  for (int c = 0; c < header.info().num_components; ++c) {
    sizes.push_back(header.info().comp_info[c].DCT_scaled_size);
  }
  return sizes;
}

}  // namespace brindlewick
