#pragma once

#include <QSize>

class QImage;

namespace brindlewick {

// Scales RGB32 pixels to exactly the given size. Shrinking averages every source pixel over the
// area it covers, so fine detail does not alias; enlarging is bilinear; the same size is the
// picture itself.
QImage ScalePixels(const QImage& source, QSize target);

// The area-averaging shrink alone; target no larger than the source on either side.
QImage ShrinkByAreaAverage(const QImage& source, QSize target);

}  // namespace brindlewick
