#include "platform/surface/PictureBox.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "platform/surface/Shape.h"
#include "platform/surface/Surface.h"

namespace brindlewick {

PictureBox::PictureBox(Surface& surface, const Shape& overlay, QWidget* parent)
    : QWidget(parent), surface_(surface), overlay_(overlay) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  resize(surface_.width(), surface_.height());
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

void PictureBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QImage& canvas = surface_.canvas();
  if (!canvas.isNull()) painter.drawImage(event->rect(), canvas, event->rect());
  if (overlay_.visible) {
    // Two passes, light then dark dashes, so the band shows on any picture.
    const QRectF band(overlay_.left, overlay_.top, overlay_.width, overlay_.height);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(band);
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(band);
  }
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  const QPointF p = event->position();
  emit mouseDown(ButtonMask(event->button()), ShiftMask(event->modifiers()), float(p.x()),
                 float(p.y()));
  update();
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
  const QPointF p = event->position();
  emit mouseMove(ButtonMask(event->buttons()), ShiftMask(event->modifiers()), float(p.x()),
                 float(p.y()));
  update();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
  const QPointF p = event->position();
  emit mouseUp(ButtonMask(event->button()), ShiftMask(event->modifiers()), float(p.x()),
               float(p.y()));
  update();
}

void PictureBox::surfaceChanged(bool immediate) {
  if (size() != QSize(surface_.width(), surface_.height())) {
    resize(surface_.width(), surface_.height());
  }
  if (immediate) {
    repaint();
  } else {
    update();
  }
}

}  // namespace brindlewick
