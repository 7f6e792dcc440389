#include "output/SaveAsJPG.h"

#include <cmath>
#include <limits>

#include <QString>

#include "platform/FileBytes.h"
#include "platform/RuntimeError.h"
#include "platform/Surface.h"

namespace brindlewick {

int16_t QualityFromRatio(double w, double h, qint64 n) {
  const double e = 101 - (h * w * 3) / double(n);
  // Rounded to nearest with halves to even: the default floating-point rounding mode.
  const double q = std::nearbyint(e);
  if (!(q >= std::numeric_limits<int16_t>::min() && q <= std::numeric_limits<int16_t>::max())) {
    throw OverflowError();
  }
  if (q <= 0) return 1;
  if (q > 100) return 100;
  return static_cast<int16_t>(q);
}

int16_t DetectJPGQuality(const Surface& box, const QString& path) {
  // A picture carries no physical size here, so its pixel size stands for it.
  const float w = float(box.picture().width());
  const float h = float(box.picture().height());
  const qint64 length = FileLength(path);
  // The length is a 32-bit count; files of 2 GiB or more do not fit it.
  if (length > std::numeric_limits<int32_t>::max()) throw OverflowError();
  if (length == 0) throw DivisionByZeroError();
  return QualityFromRatio(w, h, length);
}

}  // namespace brindlewick
