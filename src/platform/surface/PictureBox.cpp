#include "platform/surface/PictureBox.h"

#include <algorithm>

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "platform/surface/DevicePixels.h"
#include "platform/surface/Shape.h"
#include "platform/surface/Surface.h"

namespace brindlewick {

PictureBox::PictureBox(Surface& surface, const Shape& overlay, QWidget* parent)
    : QWidget(parent), surface_(surface), overlay_(overlay) {
  setMouseTracking(true);
  fitToSurface();
  connect(&surface_, &Surface::changed, this, &PictureBox::surfaceChanged);
}

int PictureBox::ButtonMask(Qt::MouseButtons buttons) {
  int mask = 0;
  if (buttons & Qt::LeftButton) mask |= 1;
  if (buttons & Qt::RightButton) mask |= 2;
  if (buttons & Qt::MiddleButton) mask |= 4;
  return mask;
}

int PictureBox::ShiftMask(Qt::KeyboardModifiers modifiers) {
  int mask = 0;
  if (modifiers & Qt::ShiftModifier) mask |= 1;
  if (modifiers & Qt::ControlModifier) mask |= 2;
  if (modifiers & Qt::AltModifier) mask |= 4;
  return mask;
}

bool PictureBox::event(QEvent* event) {
  // On a screen of another ratio the same surface takes another logical size.
  if (event->type() == QEvent::ScreenChangeInternal) fitToSurface();
  return QWidget::event(event);
}

void PictureBox::setCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // Drawn in device space: the surface's pixels land on the screen's one for one, never
  // magnified or shrunk by the toolkit, at any ratio.
  const qreal ratio = devicePixelRatioF();
  painter.save();
  painter.scale(1 / ratio, 1 / ratio);
  const QImage& canvas = surface_.canvas();
  if (!canvas.isNull()) painter.drawImage(QPoint(0, 0), canvas);
  const QRectF band(overlay_.left, overlay_.top, overlay_.width, overlay_.height);
  if (overlay_.visible) {
    // Two passes, light then dark dashes, so the band shows on any picture.
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(band);
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(band);
  }
  painter.restore();
  if (overlay_.visible && !caption_.isEmpty()) {
    paintCaption(painter, QRectF(band.topLeft() / ratio, band.size() / ratio));
  }
}

// In logical pixels, so the text is the size of the window's other text at any ratio: below the
// band's right end, else above it, else inside its bottom right corner, always within the box.
void PictureBox::paintCaption(QPainter& painter, const QRectF& band) {
  constexpr qreal kGap = 4, kPadding = 3;
  const QFontMetricsF metrics(font());
  const QSizeF size(metrics.horizontalAdvance(caption_) + 2 * kPadding,
                    metrics.height() + 2 * kPadding);
  qreal top = band.bottom() + kGap;
  if (top + size.height() > height()) top = band.top() - kGap - size.height();
  if (top < 0) top = band.bottom() - kGap - size.height();
  // Within the box where it fits, else from its left or top edge.
  const auto within = [](qreal at, qreal room) { return std::max(0.0, std::min(at, room)); };
  const QPointF corner(within(band.right() - size.width(), width() - size.width()),
                       within(top, height() - size.height()));
  const QRectF label(corner, size);
  painter.fillRect(label, palette().color(QPalette::ToolTipBase));
  painter.setPen(palette().color(QPalette::ToolTipText));
  painter.drawRect(label.adjusted(0.5, 0.5, -0.5, -0.5));
  painter.drawText(label, Qt::AlignCenter, caption_);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  const QPointF p = devicePosition(*event);
  emit mouseDown(ButtonMask(event->button()), ShiftMask(event->modifiers()), float(p.x()),
                 float(p.y()));
  update();
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
  const QPointF p = devicePosition(*event);
  emit mouseMove(ButtonMask(event->buttons()), ShiftMask(event->modifiers()), float(p.x()),
                 float(p.y()));
  update();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
  const QPointF p = devicePosition(*event);
  emit mouseUp(ButtonMask(event->button()), ShiftMask(event->modifiers()), float(p.x()),
               float(p.y()));
  update();
}

// Qt gives a widget its mouse position rounded to whole logical pixels: at a fractional ratio a
// device pixel or two off, so a drag of 400 device pixels could select 398. The position in the
// window keeps the fraction. The view lies whole logical pixels into the window, and its pixels
// land on the screen from the device pixel that offset rounds to, as Qt places an image. An event
// sent to the view itself carries its own position twice.
QPointF PictureBox::devicePosition(const QMouseEvent& event) const {
  const qreal ratio = devicePixelRatioF();
  if (event.scenePosition() == event.position()) return event.position() * ratio;
  const QPoint offset = mapTo(window(), QPoint(0, 0));
  return event.scenePosition() * ratio -
         QPointF(DevicePixels(offset.x(), ratio), DevicePixels(offset.y(), ratio));
}

void PictureBox::fitToSurface() {
  const qreal ratio = devicePixelRatioF();
  const QSize cover(CoveringLogicalPixels(surface_.width(), ratio),
                    CoveringLogicalPixels(surface_.height(), ratio));
  if (size() != cover) resize(cover);
  // Where the box covers a little more than the surface (an odd size at ratio 2), the window's
  // background shows in that last strip.
  setAttribute(Qt::WA_OpaquePaintEvent,
               DevicePixels(cover.width(), ratio) == surface_.width() &&
                   DevicePixels(cover.height(), ratio) == surface_.height());
}

void PictureBox::surfaceChanged(bool immediate) {
  fitToSurface();
  if (immediate) {
    repaint();
  } else {
    update();
  }
}

}  // namespace brindlewick
