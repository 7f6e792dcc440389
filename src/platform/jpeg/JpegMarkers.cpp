#include "platform/jpeg/JpegMarkers.h"

#include <QByteArray>

namespace brindlewick {
namespace {

constexpr unsigned char kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kApp1 = 0xE1;

bool IsStandalone(unsigned char marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);  // TEM and restart markers
}

bool IsFrame(unsigned char marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsProgressiveFrame(unsigned char marker) {
  return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

// Calls visit(marker, body) for each segment that has a length, in file order, until visit
// returns false or the image or the data ends. The body excludes the marker and the length.
template <typename Visit>
void ForEachSegment(const QByteArray& data, Visit visit) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
  const qsizetype size = data.size();
  if (size < 2 || bytes[0] != 0xFF || bytes[1] != kSoi) return;

  qsizetype pos = 2;
  while (pos + 1 < size) {
    if (bytes[pos] != 0xFF) {
      ++pos;  // not at a marker: skip, as decoders do
      continue;
    }
    while (pos + 1 < size && bytes[pos + 1] == 0xFF) ++pos;  // fill bytes
    if (pos + 1 >= size) break;
    const unsigned char marker = bytes[pos + 1];
    pos += 2;
    if (marker == kEoi) break;
    if (marker == 0x00 || IsStandalone(marker)) continue;
    if (pos + 2 > size) break;
    const qsizetype length = (qsizetype(bytes[pos]) << 8) | bytes[pos + 1];
    if (length < 2 || pos + length > size) break;
    if (!visit(marker, QByteArrayView(data).sliced(pos + 2, length - 2))) break;
    pos += length;
    if (marker != kSos) continue;
    // Entropy-coded data runs to the next marker that is neither a stuffed 0xFF nor a restart.
    while (pos + 1 < size &&
           !(bytes[pos] == 0xFF && bytes[pos + 1] != 0x00 && !IsStandalone(bytes[pos + 1]))) {
      ++pos;
    }
  }
}

}  // namespace

JpegLayout ReadJpegLayout(const QByteArray& data) {
  JpegLayout layout;
  ForEachSegment(data, [&](unsigned char marker, QByteArrayView) {
    if (IsFrame(marker) && IsProgressiveFrame(marker)) layout.progressive = true;
    if (marker == kSos) ++layout.scans;
    return true;
  });
  return layout;
}

QByteArrayView ExifSegment(const QByteArray& data) {
  static constexpr char kExifHeader[] = {'E', 'x', 'i', 'f', '\0', '\0'};
  QByteArrayView found;
  ForEachSegment(data, [&](unsigned char marker, QByteArrayView body) {
    if (marker == kSos) return false;
    if (marker == kApp1 && body.startsWith(QByteArrayView(kExifHeader, sizeof kExifHeader))) {
      found = body;
      return false;
    }
    return true;
  });
  return found;
}

}  // namespace brindlewick
