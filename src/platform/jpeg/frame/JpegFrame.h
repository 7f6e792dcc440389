#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace brindlewick {

// A Huffman table as a file defines it: how many codes of each length 1..16 (index 0 unused), and
// the symbols in code order.
struct HuffmanTable {
  std::array<uint8_t, 17> counts{};
  std::array<uint8_t, 256> symbols{};
};

// The canonical codes of a table given as the count of codes of each length 1..16 (index 0
// unused), in symbol order. False when the counts overflow their lengths or use a code of all
// ones, which libjpeg refuses too.
bool CanonicalCodes(const std::array<uint8_t, 17>& counts, std::vector<uint16_t>& codes,
                    std::vector<uint8_t>& lengths);

// Whether libjpeg builds the table: codes that do not overflow nor use all ones, and for DC (`dc`)
// no symbol above 15.
bool TableTaken(const HuffmanTable& table, bool dc);

struct FrameComponent {
  int id = 0;
  int h = 1;
  int v = 1;
  std::array<uint16_t, 64> quant{};  // zigzag order, as the decoder latched it at the first scan
  bool quant16 = false;
};

struct FrameScan {
  qsizetype begin = 0;  // the SOS marker
  qsizetype data = 0;   // its entropy-coded data
  qsizetype end = 0;    // the marker after that data
  std::vector<int> components;
  std::vector<int> dcTable, acTable;  // per component, into JpegFrame::tables; -1 if unused
  int ss = 0, se = 0, ah = 0, al = 0;
  int restartInterval = 0;
};

// A file's frame and its scans as read without decoding: one scan of every coefficient for a
// sequential file, a progression of scans for a progressive one.
struct JpegFrame {
  bool arithmetic = false;
  int width = 0, height = 0;
  std::vector<FrameComponent> components;
  std::vector<FrameScan> scans;
  std::vector<HuffmanTable> tables;
  std::vector<std::pair<qsizetype, qsizetype>> appSegments;  // [begin, end) before the first scan
  qsizetype end = 0;                                         // just past EOI
};

}  // namespace brindlewick
