#pragma once

#include <QByteArray>

namespace brindlewick::hostile {

// A progressive JPEG whose last scan is repeated: each repeat is only a warning to the decoder,
// so without a limit it would decode scan after scan for as long as the file goes on.
QByteArray WithRepeatedLastScan(const QByteArray& progressiveJpeg, int copies);

// The same JPEG declaring another size in its frame header.
QByteArray WithDeclaredSize(const QByteArray& jpeg, int width, int height);

// The same JPEG with an EXIF block (orientation 6) whose directory points back at itself.
QByteArray WithLoopingExif(const QByteArray& jpeg);

}  // namespace brindlewick::hostile
