#include "HostileJpegs.h"

namespace brindlewick::hostile {

QByteArray WithRepeatedLastScan(const QByteArray& progressiveJpeg, int copies) {
  const qsizetype lastScan = progressiveJpeg.lastIndexOf(QByteArray("\xff\xda", 2));
  const qsizetype end = progressiveJpeg.lastIndexOf(QByteArray("\xff\xd9", 2));
  if (lastScan < 0 || end < lastScan) return progressiveJpeg;
  const QByteArray scan = progressiveJpeg.mid(lastScan, end - lastScan);
  return progressiveJpeg.left(end) + scan.repeated(copies) + progressiveJpeg.mid(end);
}

QByteArray WithDeclaredSize(const QByteArray& jpeg, int width, int height) {
  QByteArray out = jpeg;
  for (const char* frame : {"\xff\xc0", "\xff\xc1", "\xff\xc2"}) {
    const qsizetype at = out.indexOf(QByteArray(frame, 2));
    if (at < 0) continue;
    // Marker, length (2), precision (1), then height and width, big-endian.
    out[at + 5] = char(height >> 8);
    out[at + 6] = char(height & 0xff);
    out[at + 7] = char(width >> 8);
    out[at + 8] = char(width & 0xff);
    break;
  }
  return out;
}

QByteArray WithLoopingExif(const QByteArray& jpeg) {
  // Big-endian TIFF header, then an IFD at offset 8 with one entry whose next-IFD offset is 8.
  QByteArray tiff(
      "MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
      "\x00\x00\x00\x08",
      26);
  const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
  QByteArray segment("\xff\xe1", 2);
  segment += char((payload.size() + 2) >> 8);
  segment += char((payload.size() + 2) & 0xff);
  return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

}  // namespace brindlewick::hostile
