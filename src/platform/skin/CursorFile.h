#pragma once

#include <vector>

#include <QImage>
#include <QPoint>

class QByteArray;
class QString;

namespace brindlewick {

// A mouse pointer's picture and the point in it that does the pointing.
struct CursorImage {
  QImage image;
  QPoint hotSpot;
  // The file's further drawings of the same pointer, usually larger ones for denser screens.
  std::vector<CursorImage> others;
};

// Reads a Windows cursor file (.cur): its first cursor, and the further ones that can be read.
// The pixels come from Qt's ICO/CUR reader; each hot spot from its image's directory entry. A
// missing or unreadable file fails as the file helpers do, a first cursor that is not sound
// with "Invalid picture" (481).
CursorImage ReadCursorFile(const QString& path);
CursorImage DecodeCursor(const QByteArray& bytes);

// The pointer for a screen of that device pixel ratio, at the first drawing's size times the
// ratio: the file's drawing of that size, or the nearest larger one (else the largest) scaled.
CursorImage CursorForRatio(const CursorImage& cursor, double ratio);

}  // namespace brindlewick
