#pragma once

#include <QByteArrayView>

class QByteArray;

namespace brindlewick {

// What the markers of a JPEG file say about how it must be decoded, read without decoding.
struct JpegLayout {
  bool progressive = false;
  int scans = 0;
  // Progressive files and sequential files split into several scans make the decoder keep
  // every coefficient of the whole picture in memory, whatever scale it decodes at.
  bool keepsAllCoefficients() const { return progressive || scans > 1; }
};

// Walks the markers up to the end of the image or of the data; never reads past the data.
JpegLayout ReadJpegLayout(const QByteArray& data);

// The body of the first APP1 segment before the picture's data that starts with the EXIF header
// "Exif\0\0", header included; empty when there is none. Other APP1 segments (XMP, for one) may
// come before it.
QByteArrayView ExifSegment(const QByteArray& data);

}  // namespace brindlewick
