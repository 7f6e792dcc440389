#pragma once

#include <QImageIOHandler>

class QByteArray;
class QImage;

namespace brindlewick {

// The rotation and mirroring that the picture's EXIF orientation asks for; none when the data
// carries no orientation or an unreadable one. The orientation is read with libexif from the
// first APP1 segment that carries EXIF data, wherever it sits before the picture's data: the
// Orientation of its first directory, stored as SHORT, LONG or SLONG in either byte order.
QImageIOHandler::Transformations ExifTransformation(const QByteArray& jpegData);

bool SwapsSides(QImageIOHandler::Transformations transformation);

// Applies the transformation: mirror and flip first, then a quarter turn clockwise.
QImage ApplyTransformation(QImage image, QImageIOHandler::Transformations transformation);

}  // namespace brindlewick
