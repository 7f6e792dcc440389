#include "support/JpegHeaders.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace brindlewick::test {
namespace {

constexpr std::array<int, 64> kZigzag{
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

}  // namespace

JpegHeaders ReadHeaders(const QByteArray& jpeg) {
  JpegHeaders headers;
  const auto byte = [&](qsizetype i) { return i < jpeg.size() ? int(uchar(jpeg[i])) : -1; };
  EXPECT_EQ(byte(0), 0xFF);
  EXPECT_EQ(byte(1), 0xD8);
  qsizetype at = 2;
  while (at + 4 <= jpeg.size() && byte(at) == 0xFF) {
    const int marker = byte(at + 1);
    const qsizetype length = byte(at + 2) << 8 | byte(at + 3);
    const qsizetype body = at + 4, end = at + 2 + length;
    if (marker == 0xDA || end > jpeg.size()) break;
    if (marker == 0xDB) {
      for (qsizetype p = body; p < end;) {
        const int pq = byte(p) >> 4, id = byte(p) & 15;
        headers.quantPrecision[id] = pq;
        std::vector<int>& table = headers.quantTables[id];
        for (int k = 0; k < 64; ++k) {
          table.push_back(pq ? byte(p + 1 + 2 * k) << 8 | byte(p + 2 + 2 * k) : byte(p + 1 + k));
        }
        p += 1 + (pq ? 128 : 64);
      }
    } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC) {
      headers.frameMarker = marker;
      for (int c = 0; c < byte(body + 5); ++c) headers.sampling.push_back(byte(body + 7 + 3 * c));
    } else if (marker >= 0xE0 && marker <= 0xEF) {
      headers.appMarkers.push_back(marker);
    }
    at = end;
  }
  return headers;
}

std::vector<int> ScaledTable(const std::array<int, 64>& base, int quality) {
  quality = std::clamp(quality, 1, 100);
  const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  std::vector<int> table;
  for (int k = 0; k < 64; ++k) {
    table.push_back(std::clamp((base[size_t(kZigzag[size_t(k)])] * scale + 50) / 100, 1, 255));
  }
  return table;
}

}  // namespace brindlewick::test
