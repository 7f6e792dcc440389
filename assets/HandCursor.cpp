#include "HandCursor.h"

#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

namespace brindlewick {
namespace {

void Put16(QByteArray& out, quint16 value) {
  char bytes[2];
  qToLittleEndian(value, bytes);
  out.append(bytes, 2);
}

void Put32(QByteArray& out, quint32 value) {
  char bytes[4];
  qToLittleEndian(value, bytes);
  out.append(bytes, 4);
}

// The image of a cursor file: a bitmap header, the colour rows and the transparency mask.
QByteArray CursorBitmap(const QImage& picture) {
  const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
  const int width = image.width();
  const int height = image.height();
  const int maskStride = ((width + 31) / 32) * 4;

  QByteArray bitmap;
  Put32(bitmap, 40);  // BITMAPINFOHEADER
  Put32(bitmap, quint32(width));
  Put32(bitmap, quint32(height * 2));  // the colour rows and the mask rows
  Put16(bitmap, 1);
  Put16(bitmap, 32);
  for (int i = 0; i < 6; ++i) Put32(bitmap, 0);
  for (int y = height - 1; y >= 0; --y) {  // rows run bottom-up
    for (int x = 0; x < width; ++x) Put32(bitmap, image.pixel(x, y));
  }
  for (int y = height - 1; y >= 0; --y) {
    QByteArray row(maskStride, '\0');
    for (int x = 0; x < width; ++x) {
      if (qAlpha(image.pixel(x, y)) == 0) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
    }
    bitmap.append(row);
  }
  return bitmap;
}

}  // namespace

QImage RenderHandCursor(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainterPath hand;
  hand.addRoundedRect(QRectF(8.5, 1, 5, 17), 2.5, 2.5);   // index finger
  hand.addRoundedRect(QRectF(13, 10, 4.5, 9), 2.2, 2.2);  // middle finger, curled
  hand.addRoundedRect(QRectF(17, 11, 4.5, 9), 2.2, 2.2);  // ring finger
  hand.addRoundedRect(QRectF(21, 12.5, 4, 8.5), 2, 2);    // little finger
  hand.addRoundedRect(QRectF(8.5, 15, 17, 12.5), 4, 4);   // palm
  QPainterPath thumb;
  thumb.addRoundedRect(QRectF(-2.5, -6, 5, 12), 2.5, 2.5);
  hand.addPath(QTransform().translate(7, 20).rotate(-40).map(thumb));
  hand = hand.simplified();

  QPainter p(&image);
  p.scale(size / 32.0, size / 32.0);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(Qt::white);
  p.drawPath(hand);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2f, 0x55, 0x8f));
  p.drawRoundedRect(QRectF(10, 27.5, 14, 4), 1, 1);  // the cuff
  return image;
}

QByteArray CursorFileBytes(const QImage& image, QPoint hotSpot) {
  return CursorFileBytes({{image, hotSpot}});
}

QByteArray CursorFileBytes(const std::vector<std::pair<QImage, QPoint>>& images) {
  QByteArray directory;
  Put16(directory, 0);
  Put16(directory, 2);  // a cursor
  Put16(directory, quint16(images.size()));
  QByteArray data;
  const int dataStart = 6 + 16 * int(images.size());
  for (const auto& [picture, hotSpot] : images) {
    const QByteArray bitmap = CursorBitmap(picture);
    directory.append(char(picture.width() >= 256 ? 0 : picture.width()));
    directory.append(char(picture.height() >= 256 ? 0 : picture.height()));
    directory.append('\0');  // no palette
    directory.append('\0');
    Put16(directory, quint16(hotSpot.x()));
    Put16(directory, quint16(hotSpot.y()));
    Put32(directory, quint32(bitmap.size()));
    Put32(directory, quint32(dataStart + data.size()));
    data.append(bitmap);
  }
  return directory + data;
}

QByteArray HandCursorFileBytes() {
  return CursorFileBytes(
      {{RenderHandCursor(32), kHandHotSpot}, {RenderHandCursor(64), kHandHotSpot * 2}});
}

}  // namespace brindlewick
