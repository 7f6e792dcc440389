#pragma once

#include <QtGlobal>

#include <atomic>
#include <cstdint>
#include <deque>
#include <stop_token>
#include <vector>

#include <QByteArrayView>

#include "platform/jpeg/kits/BaselineCodes.h"
#include "platform/jpeg/split/RawBits.h"

namespace brindlewick {

// Where a block starts: the input bit (BitReader::position), its place in the MCU, where its
// pruned bits start in the part's output, and the DC predictors before it.
struct BlockMark {
  qint64 position = 0;
  int phase = 0;
  uint64_t raw = 0;
  DcPredictors dc{};
};

// A part of the scan's entropy-coded data, [cut, end of the data), as its decoder goes through
// it: the block starts it records for the part before to meet, published as it goes.
struct Part {
  explicit Part(qsizetype cut, int marks) : cut(cut), marks(size_t(marks)) {}
  const qsizetype cut;
  std::vector<BlockMark> marks;
  std::atomic<int> published{0};
  std::atomic<bool> final{false};      // no more marks will come
  std::atomic<bool> overtaken{false};  // the part before went past its marks: its work is moot
};

// How a part's decoder ended.
struct PartOutcome {
  RawBits raw;
  std::vector<qint64> anomalies;  // blocks (counted from the part's start) libjpeg would not pass
  bool tooManyAnomalies = false;
  // Where it met a later part: that part's mark, its own block count, output and predictors there.
  int metPart = -1, metMark = -1;
  qint64 metBlock = 0;
  uint64_t metRaw = 0;
  DcPredictors metDc{};
  // Every so many MCUs, at an MCU's first block: where its pruned bits start and the predictors
  // before it, from which the blocks after can be read back quickly.
  std::vector<BlockMark> checkpoints;  // `position` holds the block count
  // Its last blocks inside the data: blocks decoded, input position and output after each.
  struct End {
    qint64 blocks;
    qint64 position;
    uint64_t raw;
  };
  std::vector<End> tail;
  bool stopped = false;
};

// Decodes part `index` of the scan's data from its cut to where it meets a later part (or to the
// end of the data), as if a block began at the cut with the MCU's first block: from the cut,
// Huffman codes fall into step with the true blocks within a few of them. Each block's DC
// difference and the coefficients kept are written again, with the tables of SequentialWriter,
// into the part's output. Every part but the first records its first block starts; every part
// checks, once into the next part, whether a block of its own starts where one of that part's
// does, in the same place in the MCU: from there on the two decode alike. A part whose marks it
// passes without meeting one is taken over, and the next one tried.
PartOutcome DecodePart(QByteArrayView jpeg, qsizetype dataEnd, const McuShape& shape,
                       std::deque<Part>& parts, int index, const std::stop_token& stop);

}  // namespace brindlewick
