#include "settings/AppIcon.h"

#include <QIcon>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace brindlewick {

QImage RenderAppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);

  // The photo: a rounded card with sky, sun, two mountains and a meadow.
  const QRectF card(16, 16, 224, 224);
  QPainterPath clip;
  clip.addRoundedRect(card, 36, 36);
  p.setClipPath(clip);
  QLinearGradient sky(0, 16, 0, 170);
  sky.setColorAt(0, QColor(0x2f, 0x7d, 0xd1));
  sky.setColorAt(1, QColor(0xbf, 0xe3, 0xf7));
  p.fillRect(card, sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xff, 0xd4, 0x5a));
  p.drawEllipse(QPointF(176, 70), 24, 24);
  p.setBrush(QColor(0x5b, 0x6b, 0x86));
  p.drawPolygon(QPolygonF({QPointF(8, 200), QPointF(92, 84), QPointF(170, 200)}));
  p.setBrush(QColor(0x43, 0x52, 0x6b));
  p.drawPolygon(QPolygonF({QPointF(96, 200), QPointF(168, 112), QPointF(250, 200)}));
  p.setBrush(QColor(0xf4, 0xf7, 0xfb));
  p.drawPolygon(
      QPolygonF({QPointF(92, 84), QPointF(74, 109), QPointF(93, 103), QPointF(109, 108)}));
  QLinearGradient meadow(0, 180, 0, 240);
  meadow.setColorAt(0, QColor(0x6c, 0xb3, 0x4a));
  meadow.setColorAt(1, QColor(0x2f, 0x6e, 0x2a));
  p.fillRect(QRectF(16, 180, 224, 60), meadow);
  p.setClipping(false);

  // The crop frame: a dashed rectangle with solid corner marks.
  const QRectF crop(60, 52, 140, 140);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0, 0, 0, 110), 12));
  p.drawRect(crop);
  p.setPen(QPen(Qt::white, 6, Qt::DashLine, Qt::FlatCap));
  p.drawRect(crop);
  p.setPen(QPen(Qt::white, 12, Qt::SolidLine, Qt::SquareCap));
  const qreal arm = 26;
  for (const QPointF& c :
       {crop.topLeft(), crop.topRight(), crop.bottomLeft(), crop.bottomRight()}) {
    const qreal dx = c.x() < crop.center().x() ? arm : -arm;
    const qreal dy = c.y() < crop.center().y() ? arm : -arm;
    p.drawLine(c, c + QPointF(dx, 0));
    p.drawLine(c, c + QPointF(0, dy));
  }
  return image;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : kIconSizes) icon.addPixmap(QPixmap::fromImage(RenderAppIcon(size)));
  return icon;
}

}  // namespace brindlewick
