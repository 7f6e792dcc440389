#pragma once

#include <QByteArrayView>
#include <QImageIOHandler>

class QImage;

namespace brindlewick {

// The body of an APP1 segment that starts with the EXIF header "Exif\0\0", header included.
inline constexpr char kExifHeader[] = {'E', 'x', 'i', 'f', '\0', '\0'};

// The rotation and mirroring that an EXIF block asks for; none when it carries no orientation or
// an unreadable one. The orientation is read with libexif: the Orientation of the first
// directory, stored as SHORT, LONG or SLONG in either byte order.
QImageIOHandler::Transformations ExifTransformation(QByteArrayView exifSegment);

bool SwapsSides(QImageIOHandler::Transformations transformation);

// Applies the transformation: mirror and flip first, then a quarter turn clockwise.
QImage ApplyTransformation(QImage image, QImageIOHandler::Transformations transformation);

}  // namespace brindlewick
