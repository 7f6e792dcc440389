#pragma once

#include <QByteArray>
#include <QImage>
#include <QPoint>

namespace brindlewick {

// Our hand pointer: a white hand with a black outline, the index finger pointing up.
QImage RenderHandCursor();
inline constexpr QPoint kHandHotSpot(10, 1);  // the tip of the index finger

// A Windows cursor file (.cur) with one 32-bit image, its transparency mask and the hot spot.
QByteArray CursorFileBytes(const QImage& image, QPoint hotSpot);

}  // namespace brindlewick
