#pragma once

#include <QImage>
#include <QPoint>

class QByteArray;
class QString;

namespace brindlewick {

// A mouse pointer's picture and the point in it that does the pointing.
struct CursorImage {
  QImage image;
  QPoint hotSpot;
};

// Reads the first cursor of a Windows cursor file (.cur). The pixels come from Qt's ICO/CUR
// reader; the hot spot from the file's directory entry. A missing or unreadable file fails as
// the file helpers do, anything that is not a sound cursor with "Invalid picture" (481).
CursorImage ReadCursorFile(const QString& path);
CursorImage DecodeCursor(const QByteArray& bytes);

}  // namespace brindlewick
