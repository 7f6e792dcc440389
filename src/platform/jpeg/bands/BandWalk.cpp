#include "platform/jpeg/bands/BandWalk.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {
namespace {

// The share of libjpeg's time at 2/8 to 4/8 that goes with the codes rather than the rows of
// pixels: the IDCTs and the colours work on an eighth to a quarter of the pixels, while every
// code is read. Fitted to the times of two bands of the 24 and 48 MP photos: 0.8 to 0.9.
constexpr double kCodesShare = 0.8;

// How much of libjpeg's work lies above MCU row `row`, whose data starts in byte `at`: most of its
// time goes with the codes, which a sky has far fewer of than the ground below it, the rest with
// the rows of pixels.
double Done(const BandCoding& coding, qsizetype at, qint64 row) {
  return kCodesShare * double(at - coding.data) / double(coding.end - coding.data) +
         (1 - kCodesShare) * double(row) / double(coding.shape.mcusHigh);
}

}  // namespace

bool FindStarts(const BandCoding& coding, BandStarts& starts, const std::stop_token& stop) {
  BitReader in(coding.bytes, coding.data, coding.end);
  DcPredictors dc{};
  const qint64 rows = coding.shape.mcusHigh;
  std::vector<qsizetype> rowBytes;  // where each MCU row walked starts
  rowBytes.reserve(size_t(rows));
  std::vector<double> cuts(size_t(starts.bands()), 0);  // the work above each band's start
  for (qint64 row = 0; row < rows; ++row) {
    rowBytes.push_back(in.loadedTo());
    const int next = starts.found();
    const double here = Done(coding, in.loadedTo(), row);
    const qint64 at = std::min(starts.decodedTo(next - 1), row);
    const double reached = Done(coding, rowBytes[size_t(at)], at), from = cuts[size_t(next) - 1];
    const int toStart = starts.bands() - next;
    if (BandCutDue(here, here - reached, reached - from, here - from, toStart) ||
        rows - row <= toStart) {
      BitReader trial = in;
      if (WriteFirstMcu(trial, dc, coding, nullptr)) {
        starts.publish({row, in.position(), dc});
        cuts[size_t(next)] = here;
        if (next + 1 == starts.bands()) return true;
      }
    }
    if (stop.stop_requested() || !SkipMcus(in, dc, coding.shape, coding.shape.mcusWide)) {
      return false;
    }
    if (row % 4 == 3) starts.walkedTo(row + 1);
  }
  return false;
}

bool BandCutDue(double here, double left, double decoded, double walked, int toStart) {
  const double w = walked > 0 ? std::clamp(decoded / walked, 0.0, 1.0) : 0;
  const double first =
      w < 1e-3 ? (1 - here) / toStart : (1 - here) * w / (1 - std::pow(1 - w, toStart));
  return left >= first;
}

}  // namespace brindlewick
