#include "platform/surface/Surface.h"

#include <cmath>
#include <new>
#include <utility>

#include <QPainter>
#include <QRect>

#include "platform/errors/RuntimeError.h"

namespace brindlewick {
namespace {

// Wide enough for any screen; it keeps a stray size from asking for gigabytes.
constexpr double kMaxSide = 32767;

int ToPixels(double value) {
  if (!std::isfinite(value) || value < 0 || value > kMaxSide) {
    throw RuntimeError(ErrorNumber::InvalidPropertyValue, QStringLiteral("Invalid property value"));
  }
  return static_cast<int>(std::nearbyint(value));
}

int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

// Real-valued rectangle to whole pixels: corner and size rounded apart, so a picture painted at
// its natural size keeps it wherever a centred position falls.
QRect PixelRect(double x, double y, double width, double height) {
  return QRect(Round(x), Round(y), Round(width), Round(height));
}

}  // namespace

Surface::Surface(QRgb backColor) : backColor_(backColor) {}

void Surface::setWidth(double width) { resize(ToPixels(width), height()); }

void Surface::setHeight(double height) { resize(width(), ToPixels(height)); }

void Surface::setSize(int width, int height) { resize(ToPixels(width), ToPixels(height)); }

void Surface::setPicture(const Picture& picture) {
  picture_ = picture;
  dropShown();
  // The canvas taken as its own background (image() just before) is already what drawing that
  // background would give: opaque pixels, one for one onto themselves. Drawing it again would
  // copy and repaint a whole window's worth for nothing.
  const QImage& pixels = picture_.pixels();
  const bool canvasItself =
      !picture_.isNone() && !canvas_.isNull() && pixels.constBits() == canvas_.constBits() &&
      pixels.size() == canvas_.size() && picture_.naturalSize() == canvas_.size();
  if (!canvasItself) drawBackground();
  emit changed(false);
}

void Surface::paintPicture(const Picture& picture, double x, double y, double width,
                           double height) {
  // Painting no picture draws nothing, as painting an empty picture would.
  if (picture.isNone() || picture.pixels().isNull()) return;
  settle();
  const QRect target = PixelRect(x, y, width, height);
  if (target.isEmpty() || !target.intersects(canvas_.rect())) return;

  QPainter painter(&canvas_);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(target.topLeft(), picture.scaledTo(target.size()));
  painter.end();
  emit changed(false);
}

void Surface::paintPicture(const Picture& picture, double destX, double destY, double destWidth,
                           double destHeight, double srcX, double srcY, double srcWidth,
                           double srcHeight) {
  if (picture.isNone()) return;
  settle();
  const QRect dest = PixelRect(destX, destY, destWidth, destHeight);
  const QRect src = PixelRect(srcX, srcY, srcWidth, srcHeight);
  const QRect visible = dest.intersected(canvas_.rect());
  if (visible.isEmpty()) return;

  QPainter painter(&canvas_);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.setClipRect(visible);
  // Whatever of the source lies outside the picture shows as background.
  painter.fillRect(visible, QColor::fromRgb(backColor_));
  const QImage& pixels = picture.pixels();
  if (pixels.isNull()) {
    // nothing more to copy
  } else if (dest.size() == src.size() && pixels.size() == picture.naturalSize()) {
    const QPoint shift = src.topLeft() - dest.topLeft();
    const QRect from = visible.translated(shift).intersected(pixels.rect());
    if (!from.isEmpty()) painter.drawImage(from.topLeft() - shift, pixels, from);
  } else {
    const double sx = double(pixels.width()) / picture.width();
    const double sy = double(pixels.height()) / picture.height();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(dest), pixels,
                      QRectF(src.x() * sx, src.y() * sy, src.width() * sx, src.height() * sy));
  }
  painter.end();
  emit changed(false);
}

Picture Surface::image() const {
  settle();
  return Picture(canvas_, QSize(width_, height_));
}

const QImage& Surface::canvas() const {
  settle();
  return canvas_;
}

void Surface::cls() {
  dropShown();
  drawBackground();
  emit changed(false);
}

void Surface::drawBox(double x1, double y1, double x2, double y2, QRgb color) {
  settle();
  if (canvas_.isNull()) return;
  QPainter painter(&canvas_);
  painter.setPen(QPen(QColor::fromRgb(color), 0));
  // Lines include both end points, so both corners are on the outline.
  const QPoint a(Round(x1), Round(y1)), b(Round(x2), Round(y2));
  painter.drawLine(a.x(), a.y(), b.x(), a.y());
  painter.drawLine(b.x(), a.y(), b.x(), b.y());
  painter.drawLine(b.x(), b.y(), a.x(), b.y());
  painter.drawLine(a.x(), b.y(), a.x(), a.y());
  painter.end();
  emit changed(false);
}

void Surface::refresh() { emit changed(true); }

void Surface::resize(int width, int height) {
  if (width == width_ && height == height_) return;
  // What the surface showed before the first of several resizes is what the last one keeps, as
  // far as every one of them kept it.
  if (!unsettled_) {
    shown_ = canvas_;
    kept_ = canvas_.size();
  }
  unsettled_ = true;
  kept_ = kept_.boundedTo(QSize(width, height));
  canvas_ = QImage();
  if (width > 0 && height > 0) {
    canvas_ = QImage(width, height, QImage::Format_RGB32);
    if (canvas_.isNull()) throw std::bad_alloc();
  }
  width_ = width;
  height_ = height;
  emit changed(false);
}

void Surface::settle() const {
  if (!unsettled_) return;
  unsettled_ = false;
  const QImage old = std::exchange(shown_, QImage());
  drawBackground();
  if (!old.isNull() && !canvas_.isNull() && !kept_.isEmpty()) {
    QPainter painter(&canvas_);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), old, QRect(QPoint(0, 0), kept_));
  }
}

void Surface::dropShown() {
  unsettled_ = false;
  shown_ = QImage();
}

void Surface::drawBackground() const {
  if (canvas_.isNull()) return;
  canvas_.fill(backColor_);
  if (picture_.isNone() || picture_.pixels().isNull()) return;
  QPainter painter(&canvas_);
  if (picture_.pixels().size() == picture_.naturalSize()) {
    painter.drawImage(0, 0, picture_.pixels());
  } else {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(picture_.naturalSize())), picture_.pixels());
  }
}

}  // namespace brindlewick
