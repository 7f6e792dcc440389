#pragma once

#include <QImageIOHandler>

class QByteArray;
class QImage;

namespace brindlewick {

// The rotation and mirroring that the picture's EXIF orientation asks for; none when the data
// carries no orientation or an unreadable one.
QImageIOHandler::Transformations ExifTransformation(const QByteArray& jpegData);

bool SwapsSides(QImageIOHandler::Transformations transformation);

// Applies the transformation: mirror and flip first, then a quarter turn clockwise.
QImage ApplyTransformation(QImage image, QImageIOHandler::Transformations transformation);

}  // namespace brindlewick
