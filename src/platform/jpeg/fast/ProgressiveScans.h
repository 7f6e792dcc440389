#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <utility>
#include <vector>

#include <QByteArrayView>

namespace brindlewick {

struct HuffmanTable {
  std::array<uint8_t, 17> counts{};  // codes of each length 1..16 (index 0 unused)
  std::array<uint8_t, 256> symbols{};
};

struct ProgressiveComponent {
  int id = 0;
  int h = 1;
  int v = 1;
  std::array<uint16_t, 64> quant{};  // zigzag order, as the decoder latched it at the first scan
  bool quant16 = false;
};

struct ProgressiveScan {
  qsizetype begin = 0;  // the SOS marker
  qsizetype data = 0;   // its entropy-coded data
  qsizetype end = 0;    // the marker after that data
  std::vector<int> components;
  std::vector<int> dcTable, acTable;  // per component, into Progression::tables; -1 if unused
  int ss = 0, se = 0, ah = 0, al = 0;
  int restartInterval = 0;
};

// A progressive file's frame and scans as read without decoding.
struct Progression {
  bool arithmetic = false;
  int width = 0, height = 0;
  std::vector<ProgressiveComponent> components;
  std::vector<ProgressiveScan> scans;
  std::vector<HuffmanTable> tables;
  std::vector<std::pair<qsizetype, qsizetype>> appSegments;  // [begin, end) before the first scan
  qsizetype end = 0;                                         // just past EOI
};

// Reads a progressive file, checking as it goes that libjpeg would decode its progression
// without a word of warning and end with every coefficient complete. nullopt when the file does
// anything else: another coding process, more than three components, a progression libjpeg
// would warn about, coefficients left unrefined (libjpeg would smooth blocks), data cut short,
// unknown markers, more scans than the decoder allows; and once `stop` is asked, which the walk
// over each scan's data hears too.
std::optional<Progression> ReadProgression(QByteArrayView jpeg, std::stop_token stop = {});

// Reads a baseline or extended sequential Huffman-coded file of one scan carrying every
// coefficient of every component, without restart markers, in the same shape: one scan. nullopt
// for anything else, and once `stop` is asked.
std::optional<Progression> ReadSequentialScan(QByteArrayView jpeg, std::stop_token stop = {});

// The coefficients that libjpeg-turbo's inverse DCT of the given block size reads, as a mask of
// zigzag positions (bit k = position k). Its 2x2 and 4x4 IDCTs read odd rows and columns up to
// 7, not only the top-left corner.
uint64_t CoefficientsRead(int idctSize);

// Per component, the coefficients read by IDCTs of the given sizes (one per component, as
// libjpeg chose them: DCT_scaled_size).
std::vector<uint64_t> CoefficientsRead(const std::vector<int>& idctSizes);

// The scans a decode that reads only `read` needs: those that add bits to a coefficient read,
// or to one whose bits a later needed scan refines.
std::vector<bool> ScansNeeded(const Progression& progression, std::vector<uint64_t> read);

// The same progressive JPEG stream without the scans that IDCTs of the given sizes do not need.
// nullopt when no scan can go: the caller then decodes the whole file.
std::optional<QByteArray> PruneProgressiveScans(QByteArrayView jpeg, const Progression& progression,
                                                const std::vector<int>& idctSizes);

}  // namespace brindlewick
