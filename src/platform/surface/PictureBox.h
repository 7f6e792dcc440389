#pragma once

#include <QString>
#include <QWidget>

class QPainter;

namespace brindlewick {

class Surface;
struct Shape;

// Shows a Surface at its size, draws a Shape over it without touching its pixels, with a caption
// beside it while it shows, and reports the mouse with classic button masks (1 left, 2 right,
// 4 middle) and real coordinates. A press captures the mouse, so moves and the release outside
// the box still arrive. The surface, the shape and the coordinates are in the screen's device
// pixels; the widget covers the surface.
class PictureBox : public QWidget {
  Q_OBJECT

 public:
  PictureBox(Surface& surface, const Shape& overlay, QWidget* parent = nullptr);

  // Shown beside the shape, on a background of its own so that it reads on any picture; none
  // when empty.
  void setCaption(const QString& caption);
  const QString& caption() const { return caption_; }

  static int ButtonMask(Qt::MouseButtons buttons);
  static int ShiftMask(Qt::KeyboardModifiers modifiers);

 signals:
  void mouseDown(int button, int shift, float x, float y);
  void mouseMove(int button, int shift, float x, float y);
  void mouseUp(int button, int shift, float x, float y);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void paintCaption(QPainter& painter, const QRectF& band);
  QPointF devicePosition(const QMouseEvent& event) const;
  void fitToSurface();
  void surfaceChanged(bool immediate);

  Surface& surface_;
  const Shape& overlay_;
  QString caption_;
};

}  // namespace brindlewick
