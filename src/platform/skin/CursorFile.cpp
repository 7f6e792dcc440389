#include "platform/skin/CursorFile.h"

#include <algorithm>
#include <utility>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QString>
#include <QtEndian>

#include "platform/errors/RuntimeError.h"
#include "platform/files/FileBytes.h"

namespace brindlewick {
namespace {

// Cursors are small; a larger file is not one.
constexpr qint64 kMaxCursorFileBytes = 1 << 20;
constexpr qint64 kDirectoryHeaderBytes = 6;
constexpr qint64 kDirectoryEntryBytes = 16;
constexpr quint16 kCursorResourceType = 2;
// The format limits a cursor image to 256 pixels square (the bitmap's height counts the mask).
constexpr qint32 kMaxSide = 256;
// Enough drawings for every ratio a screen has; the rest of a larger directory is not read.
constexpr qint64 kMaxImages = 8;

RuntimeError InvalidCursor(const QString& why) {
  return RuntimeError(ErrorNumber::InvalidPicture,
                      QStringLiteral("Invalid picture: not a usable cursor file (%1)").arg(why));
}

// Little-endian reads that have been bounds-checked by the caller.
quint16 U16(const QByteArray& bytes, qint64 at) {
  return qFromLittleEndian<quint16>(bytes.constData() + at);
}
quint32 U32(const QByteArray& bytes, qint64 at) {
  return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// The image data's own idea of its size must be something Qt can decode without surprises.
void CheckImageData(const QByteArray& bytes, qint64 offset, qint64 length) {
  static const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);
  if (bytes.mid(offset, 8) == kPngSignature) {
    // The IHDR chunk follows the signature: length, type, then width and height (big-endian).
    if (length < 24) throw InvalidCursor(QStringLiteral("the PNG image is cut short"));
    const quint32 width = qFromBigEndian<quint32>(bytes.constData() + offset + 16);
    const quint32 height = qFromBigEndian<quint32>(bytes.constData() + offset + 20);
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
      throw InvalidCursor(QStringLiteral("the image is %1 x %2 pixels").arg(width).arg(height));
    }
    return;
  }
  if (length < 40) throw InvalidCursor(QStringLiteral("the bitmap header is cut short"));
  const quint32 headerSize = U32(bytes, offset);
  const auto width = static_cast<qint32>(U32(bytes, offset + 4));
  const auto height = static_cast<qint32>(U32(bytes, offset + 8));  // the picture plus its mask
  if (headerSize < 40 || headerSize > quint32(length)) {
    throw InvalidCursor(QStringLiteral("the bitmap header is damaged"));
  }
  if (width <= 0 || height <= 0 || width > kMaxSide || height > 2 * kMaxSide) {
    throw InvalidCursor(QStringLiteral("the bitmap is %1 x %2 pixels").arg(width).arg(height / 2));
  }
}

// One image of the file, read on its own: its directory entry and its data, checked, then handed
// to Qt's reader as a file of that one image. The hot spot is the entry's.
CursorImage DecodeEntry(const QByteArray& bytes, qint64 entry, qint64 directoryEnd) {
  const qint64 size = bytes.size();
  const QPoint hotSpot(U16(bytes, entry + 4), U16(bytes, entry + 6));
  const qint64 length = U32(bytes, entry + 8);
  const qint64 offset = U32(bytes, entry + 12);
  if (length == 0 || offset < directoryEnd || offset > size || length > size - offset) {
    throw InvalidCursor(QStringLiteral("the image lies outside the file"));
  }
  CheckImageData(bytes, offset, length);

  QByteArray single = bytes.left(kDirectoryHeaderBytes);
  qToLittleEndian<quint16>(1, single.data() + 4);
  single += bytes.mid(entry, kDirectoryEntryBytes - 4);
  single += QByteArray(4, '\0');
  qToLittleEndian<quint32>(quint32(single.size()), single.data() + single.size() - 4);
  single += bytes.mid(offset, length);
  QBuffer buffer(&single);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "cur");
  QImage image = reader.read();
  if (image.isNull()) throw InvalidCursor(reader.errorString());
  if (hotSpot.x() >= image.width() || hotSpot.y() >= image.height()) {
    throw InvalidCursor(QStringLiteral("the hot spot %1,%2 lies outside the %3 x %4 image")
                            .arg(hotSpot.x())
                            .arg(hotSpot.y())
                            .arg(image.width())
                            .arg(image.height()));
  }
  return {std::move(image), hotSpot, {}};
}

}  // namespace

CursorImage DecodeCursor(const QByteArray& bytes) {
  const qint64 size = bytes.size();
  if (size < kDirectoryHeaderBytes + kDirectoryEntryBytes) {
    throw InvalidCursor(QStringLiteral("the file is too short"));
  }
  if (U16(bytes, 0) != 0 || U16(bytes, 2) != kCursorResourceType) {
    throw InvalidCursor(QStringLiteral("the file does not start as a cursor"));
  }
  const qint64 count = U16(bytes, 4);
  if (count == 0) throw InvalidCursor(QStringLiteral("the file holds no image"));
  const qint64 directoryEnd = kDirectoryHeaderBytes + count * kDirectoryEntryBytes;
  if (directoryEnd > size) throw InvalidCursor(QStringLiteral("the directory is cut short"));

  CursorImage cursor = DecodeEntry(bytes, kDirectoryHeaderBytes, directoryEnd);
  // Larger drawings for denser screens are a bonus: one that cannot be read is left out.
  for (qint64 i = 1; i < std::min(count, kMaxImages); ++i) {
    try {
      cursor.others.push_back(
          DecodeEntry(bytes, kDirectoryHeaderBytes + i * kDirectoryEntryBytes, directoryEnd));
    } catch (const RuntimeError&) {
    }
  }
  return cursor;
}

CursorImage CursorForRatio(const CursorImage& cursor, double ratio) {
  const int wanted = qRound(cursor.image.width() * ratio);
  const CursorImage* best = &cursor;
  for (const CursorImage& other : cursor.others) {
    const int side = other.image.width();
    const int bestSide = best->image.width();
    // The smallest drawing at least as large as wanted, else the largest there is.
    if ((side >= wanted && (bestSide < wanted || side < bestSide)) ||
        (bestSide < wanted && side > bestSide)) {
      best = &other;
    }
  }
  if (best->image.width() == wanted || best->image.isNull()) {
    return {best->image, best->hotSpot, {}};
  }
  const double scale = double(wanted) / best->image.width();
  return {best->image.scaled(wanted, qRound(best->image.height() * scale), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation),
          QPoint(int(best->hotSpot.x() * scale), int(best->hotSpot.y() * scale)),
          {}};
}

CursorImage ReadCursorFile(const QString& path) {
  return DecodeCursor(ReadRegularFile(path, kMaxCursorFileBytes));
}

}  // namespace brindlewick
