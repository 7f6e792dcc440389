#pragma once

#include <memory>

#include <QImage>
#include <QSize>

namespace brindlewick {

// A picture: shared, immutable pixels and the picture's natural size. The pixels can be smaller
// than the natural size when the file was decoded at a reduced scale; geometry always uses the
// natural size. A default-constructed picture is "none" (no handle).
class Picture {
 public:
  Picture() = default;
  explicit Picture(const QImage& pixels);
  Picture(QImage pixels, QSize naturalSize);

  bool isNone() const { return !handle_; }
  int width() const { return natural_.width(); }
  int height() const { return natural_.height(); }
  QSize naturalSize() const { return natural_; }
  const QImage& pixels() const { return pixels_; }

  // The pixels scaled to the given size. The last result is kept and shared by every copy of the
  // picture, so painting the same picture twice at one size scales it once.
  QImage scaledTo(QSize size) const;

 private:
  struct Scaled {
    QSize size;
    QImage image;
  };

  bool handle_ = false;
  QImage pixels_;
  QSize natural_{0, 0};
  std::shared_ptr<Scaled> scaled_;
};

}  // namespace brindlewick
