#pragma once

#include <utility>
#include <vector>

#include <QByteArray>
#include <QImage>
#include <QPoint>

namespace brindlewick {

// Our hand pointer: a white hand with a black outline, the index finger pointing up. Designed at
// 32 pixels and drawn afresh at other sizes, so a larger one is as sharp.
QImage RenderHandCursor(int size = 32);
inline constexpr QPoint kHandHotSpot(10, 1);  // the tip of the index finger, at 32 pixels

// A Windows cursor file (.cur) with one 32-bit image, its transparency mask and the hot spot.
QByteArray CursorFileBytes(const QImage& image, QPoint hotSpot);
// The same with several images, each with its hot spot, in the order given.
QByteArray CursorFileBytes(const std::vector<std::pair<QImage, QPoint>>& images);
// The program's hand: 32 pixels for ordinary screens, 64 for screens of twice the density.
QByteArray HandCursorFileBytes();

}  // namespace brindlewick
