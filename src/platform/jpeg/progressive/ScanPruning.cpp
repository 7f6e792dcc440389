#include "platform/jpeg/progressive/ScanPruning.h"

#include <algorithm>

#include <QByteArray>

#include "platform/jpeg/frame/IdctReads.h"

namespace brindlewick {
namespace {

uint64_t Band(int ss, int se) {
  const uint64_t upTo = se == 63 ? ~uint64_t(0) : (uint64_t(1) << (se + 1)) - 1;
  return upTo & ~((uint64_t(1) << ss) - 1);
}

}  // namespace

std::vector<bool> ScansNeeded(const JpegFrame& frame, std::vector<uint64_t> read) {
  // From the last scan back: a refinement decodes against the bits already there, so the scans
  // before a needed one must stay for its whole band.
  const std::vector<FrameScan>& scans = frame.scans;
  std::vector<bool> needed(scans.size(), false);
  for (size_t s = scans.size(); s-- > 0;) {
    const uint64_t band = Band(scans[s].ss, scans[s].se);
    for (int c : scans[s].components) needed[s] = needed[s] || (read[size_t(c)] & band) != 0;
    if (needed[s]) {
      for (int c : scans[s].components) read[size_t(c)] |= band;
    }
  }
  return needed;
}

std::optional<QByteArray> PruneProgressiveScans(QByteArrayView jpeg, const JpegFrame& frame,
                                                const std::vector<int>& idctSizes) {
  if (idctSizes.size() != frame.components.size()) return std::nullopt;
  const std::vector<bool> needed = ScansNeeded(frame, CoefficientsRead(idctSizes));
  if (std::find(needed.begin(), needed.end(), false) == needed.end()) return std::nullopt;

  QByteArray pruned;
  pruned.reserve(frame.end);
  qsizetype from = 0;
  for (size_t s = 0; s < needed.size(); ++s) {
    if (needed[s]) continue;
    pruned.append(jpeg.data() + from, frame.scans[s].begin - from);
    from = frame.scans[s].end;
  }
  pruned.append(jpeg.data() + from, frame.end - from);
  return pruned;
}

}  // namespace brindlewick
