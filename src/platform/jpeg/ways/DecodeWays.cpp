// The ways of decoding a file in one table, in the order a plan tries them: each row says what of
// the file's facts it needs, how many of the cores it is given it keeps busy, and how it decodes.
// A way is planned only where it takes the file, so that the cores a plan counts on are the cores
// its way keeps busy; the ways themselves check only the data they read.
#include "platform/jpeg/ways/DecodeWays.h"

#include <algorithm>
#include <array>

#include "platform/jpeg/bands/RestartBands.h"
#include "platform/jpeg/bands/SequentialBands.h"
#include "platform/jpeg/progressive/ProgressiveDecoder.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/jpeg/split/BaselineSplit.h"
#include "platform/jpeg/ways/PruningCheck.h"

namespace brindlewick {
namespace {

// Data shorter than this, cut in two, would only be decoded twice.
constexpr qint64 kLeastDataToCut = qint64(512) << 10;

int Eighths(DecodeScale scale) { return 8 * scale.num / scale.denom; }

// One interleaved Huffman-coded scan of 8-bit samples, read in one go from the start.
bool OneSequentialScan(const CodingFacts& f) {
  return !f.progressive && !f.arithmetic && f.eightBit && f.oneScan;
}

// Gray coded as plain blocks or three components: what the bands of restart intervals take.
bool PlainComponents(const CodingFacts& f) { return f.components == 3 || f.plainGray; }

struct Way {
  DecodeWay way;
  // Reads only the coefficients libjpeg's IDCTs read: taken only while the pruning check holds.
  bool pruned;
  // Whether it gives libjpeg's own pixels of a file of these facts at the scale.
  bool (*takes)(const CodingFacts& facts, DecodeScale scale);
  // The cores it keeps busy of `threads`, the calling thread's included; 0 where it would be no
  // quicker than the whole file.
  int (*cores)(const CodingFacts& facts, DecodeScale scale, int threads);
  std::optional<QImage> (*decode)(JpegSession& header, QByteArrayView file,
                                  const DecodeRequest& request);
};

std::optional<QImage> DecodeWhole(JpegSession& header, QByteArrayView,
                                  const DecodeRequest& request) {
  return header.decode(request.scale, true, request.cmyk);
}

// Where the data is long enough to cut in parts, and there are cores for them.
int EveryCoreOnLongData(const CodingFacts& f, DecodeScale, int threads) {
  return f.dataBytes >= kLeastDataToCut && threads >= 2 ? threads : 0;
}

constexpr std::array<Way, 6> kWays{{
    // The needed scans as a sequential stream, made on three threads beside libjpeg's where there
    // are two cores or more; at full size every scan is needed, and only that is quicker.
    {DecodeWay::ProgressiveStream, true,
     [](const CodingFacts& f, DecodeScale) {
       return f.progressive && !f.arithmetic && f.components <= 3 && f.blocksPerMcu <= 10;
     },
     [](const CodingFacts&, DecodeScale scale, int threads) {
       return Eighths(scale) == 8 && threads < 2 ? 0 : std::clamp(threads, 1, 4);
     },
     DecodeProgressiveStream},
    // Where no sequential stream can carry it (arithmetic coding, more blocks to an MCU than a
    // sequential scan allows), the file without the scans the scale leaves out.
    {DecodeWay::ProgressivePruned, true,
     [](const CodingFacts& f, DecodeScale scale) {
       return f.progressive && f.components <= 3 && Eighths(scale) < 8;
     },
     [](const CodingFacts&, DecodeScale, int) { return 1; }, DecodeProgressivePruned},
    // The first view of a baseline file without restart markers: the data in parts, one a core,
    // and the stream they make in bands of restart intervals.
    {DecodeWay::Split, true,
     [](const CodingFacts& f, DecodeScale scale) {
       return OneSequentialScan(f) && PlainComponents(f) && f.restartInterval == 0 &&
              f.blocksPerMcu <= 10 && Eighths(scale) == 1;
     },
     EveryCoreOnLongData, DecodeBaselineSplit},
    // Up to 4/8 the file's own codes in bands of MCU rows, one a core, where no row reads its
    // neighbours'.
    {DecodeWay::Bands, false,
     [](const CodingFacts& f, DecodeScale scale) {
       return OneSequentialScan(f) && f.grayOrColour() && f.restartInterval == 0 &&
              f.blocksPerMcu <= 10 && Eighths(scale) >= 2 && Eighths(scale) <= 4 &&
              !f.needsNeighbourRows(scale);
     },
     [](const CodingFacts& f, DecodeScale scale, int threads) {
       return f.mcuRows >= 2 * threads ? EveryCoreOnLongData(f, scale, threads) : 0;
     },
     DecodeSequentialBands},
    // Restart markers at whole MCU rows: the intervals in bands, at any scale.
    {DecodeWay::RestartBands, false,
     [](const CodingFacts& f, DecodeScale) {
       return OneSequentialScan(f) && PlainComponents(f) && f.restartRows > 0 &&
              f.mcuRows > f.restartRows;
     },
     [](const CodingFacts&, DecodeScale, int threads) { return threads >= 2 ? threads : 0; },
     [](JpegSession& header, QByteArrayView file, const DecodeRequest& request) {
       return DecodeRestartBands(header, file, request);
     }},
    {DecodeWay::Whole, false, [](const CodingFacts&, DecodeScale) { return true; },
     [](const CodingFacts&, DecodeScale, int) { return 1; }, DecodeWhole},
}};

const Way& Row(DecodeWay way) {
  return *std::find_if(kWays.begin(), kWays.end(), [&](const Way& row) { return row.way == way; });
}

// The pruning check decodes a picture of its own once, with the progressive stream called
// directly.
bool Takes(const Way& row, const CodingFacts& facts, DecodeScale scale) {
  return row.takes(facts, scale) && (!row.pruned || PruningHolds());
}

int Cores(const Way& row, const CodingFacts& facts, DecodeScale scale, int threads) {
  return Takes(row, facts, scale) ? row.cores(facts, scale, threads) : 0;
}

}  // namespace

ChosenWay ChooseWay(const CodingFacts& facts, DecodeScale scale, int threads) {
  for (const Way& row : kWays) {
    if (const int cores = Cores(row, facts, scale, threads)) return {row.way, cores};
  }
  return {};
}

bool WayTakes(DecodeWay way, const CodingFacts& facts, DecodeScale scale) {
  return Takes(Row(way), facts, scale);
}

std::optional<QImage> DecodeTheWay(DecodeWay way, const CodingFacts& facts, JpegSession& header,
                                   QByteArrayView file, const DecodeRequest& request) {
  if (way != DecodeWay::Whole && WayTakes(way, facts, request.scale)) {
    if (std::optional<QImage> pixels = Row(way).decode(header, file, request)) return pixels;
    if (request.stop.stop_requested()) return std::nullopt;
  }
  DecodeRequest whole = request;
  whole.threads = 1;
  return DecodeWhole(header, file, whole);
}

}  // namespace brindlewick
