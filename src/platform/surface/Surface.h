#pragma once

#include <QImage>
#include <QObject>
#include <QRgb>

#include "platform/surface/Picture.h"

namespace brindlewick {

// A retained raster surface: a size, a background colour, a background picture and the
// persistent image that holds what the surface shows. Drawing goes into the persistent image;
// clearing brings back the background picture on the background colour. Whoever shows it
// listens to changed(); the connection ends with either side.
class Surface : public QObject {
  Q_OBJECT

 public:
  explicit Surface(QRgb backColor = qRgb(255, 255, 255));

  int width() const { return width_; }
  int height() const { return height_; }
  // Sizes are real numbers, rounded to whole pixels with halves to even. The top-left corner
  // stays; content beyond the new size is cut and new area shows the background colour.
  void setWidth(double width);
  void setHeight(double height);
  void setSize(int width, int height);

  QRgb backColor() const { return backColor_; }

  const Picture& picture() const { return picture_; }
  // Replaces everything shown: the picture at the top-left corner on the background colour.
  void setPicture(const Picture& picture);

  // Draws the whole picture scaled into the real-valued rectangle, clipped at the edges.
  void paintPicture(const Picture& picture, double x, double y, double width, double height);
  // Copies a source rectangle of the picture's pixels unchanged (SRCCOPY) when both rectangles
  // have the same size. Source pixels outside the picture come out in the background colour.
  void paintPicture(const Picture& picture, double destX, double destY, double destWidth,
                    double destHeight, double srcX, double srcY, double srcWidth, double srcHeight);

  // A snapshot of exactly what the surface shows.
  Picture image() const;
  // Erases drawn content: the background picture shows again.
  void cls();
  // Draws a rectangle outline with corners (x1, y1) and (x2, y2).
  void drawBox(double x1, double y1, double x2, double y2, QRgb color);
  // Asks whoever shows the surface to repaint it at once.
  void refresh();

  const QImage& canvas() const;

 signals:
  // After every change; `immediate` is true for refresh().
  void changed(bool immediate);

 private:
  void resize(int width, int height);
  void drawBackground() const;
  // Draws a canvas resized since it was last drawn: the background, and what it showed before.
  void settle() const;
  // Forgets what a resized canvas showed before, for a change that draws the whole canvas anew.
  void dropShown();

  QRgb backColor_;
  Picture picture_;
  int width_ = 0;
  int height_ = 0;
  // Null while the surface has no area. A resize leaves the new canvas undrawn, keeping what the
  // surface showed in `shown_`, until the canvas is next read or drawn on: a width and then a
  // height, as a window's resize sets them, cost one drawing of a window's worth of pixels, and
  // none where the whole canvas is drawn anew next.
  mutable QImage canvas_;
  mutable QImage shown_;
  mutable QSize kept_;  // the part of `shown_` that every resize since kept
  mutable bool unsettled_ = false;
};

}  // namespace brindlewick
