#pragma once

#include <deque>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

#include "platform/jpeg/split/PartDecoder.h"

namespace brindlewick {

struct JpegFrame;

// A stretch of one part's output that holds true blocks: the part's blocks [fromBlock, toBlock)
// and their bits [fromRaw, toRaw); the first is the scan's block `global`; the true DC predictors
// are the part's plus `offset`, and the part's were `fromDc` before the first.
struct ChainLink {
  int part = 0;
  qint64 fromBlock = 0, toBlock = 0;
  uint64_t fromRaw = 0, toRaw = 0;
  qint64 global = 0;
  DcPredictors fromDc{}, offset{};
};

// The parts' outputs in the order of the true blocks: from the first part's start to where it met
// a later part, from there to where that one met the next, and so on to the last block, which must
// end in the last byte of the data as libjpeg's decode does where it passes without a word. None
// where anything on the way is not clean or the blocks do not add up to the scan's.
std::optional<std::vector<ChainLink>> ChainParts(const std::vector<PartOutcome>& outcomes,
                                                 const std::deque<Part>& parts, qint64 total,
                                                 qsizetype dataEnd);

// The entropy-coded data of the chained blocks in restart intervals of `intervalMcus` MCUs (at
// most 65535, or the whole scan for one interval), each interval's on its own and each but the
// last followed by its restart marker: the first MCU of each written again with its DC values whole
// (a restart starts the predictions afresh), the rest copied as the parts wrote them, the intervals
// written side by side on `threads`. Each part's bits are let go as soon as the last interval
// that reads them is written. None for a DC value out of the coefficients' range.
std::optional<std::vector<QByteArray>> WriteChain(const McuShape& shape,
                                                  std::vector<PartOutcome>& outcomes,
                                                  const std::vector<ChainLink>& links,
                                                  qint64 intervalMcus, int threads);

}  // namespace brindlewick
