#include "platform/surface/Picture.h"

#include <utility>

#include "platform/surface/Scaling.h"

namespace brindlewick {

Picture::Picture(const QImage& pixels) : Picture(pixels, pixels.size()) {}

Picture::Picture(QImage pixels, QSize naturalSize)
    : handle_(true),
      pixels_(std::move(pixels)),
      natural_(naturalSize),
      scaled_(std::make_shared<Scaled>()) {}

QImage Picture::scaledTo(QSize size) const {
  if (size == pixels_.size() || !scaled_) return ScalePixels(pixels_, size);
  if (scaled_->size != size || scaled_->image.isNull()) {
    scaled_->image = ScalePixels(pixels_, size);
    scaled_->size = size;
  }
  return scaled_->image;
}

}  // namespace brindlewick
