#pragma once

#include <array>
#include <map>
#include <vector>

#include <QByteArray>

namespace brindlewick::test {

// What a JPEG file says about itself in the headers before its scan.
struct JpegHeaders {
  std::map<int, std::vector<int>> quantTables;  // id -> 64 values in file (zigzag) order
  std::map<int, int> quantPrecision;            // id -> Pq
  int frameMarker = 0;
  std::vector<int> sampling;  // per component: horizontal << 4 | vertical
  std::vector<int> appMarkers;
};

// Reads the markers up to the scan; a file that does not start as a JPEG fails the test.
JpegHeaders ReadHeaders(const QByteArray& jpeg);

// libjpeg's tables from the JPEG standard's annex K, in natural order.
inline constexpr std::array<int, 64> kLuminance{
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
inline constexpr std::array<int, 64> kChrominance{
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// The table libjpeg writes for a quality: its percentage scaling, kept within 1..255 for a
// baseline file, in the file's zigzag order.
std::vector<int> ScaledTable(const std::array<int, 64>& base, int quality);

}  // namespace brindlewick::test
