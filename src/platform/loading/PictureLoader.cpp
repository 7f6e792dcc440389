#include "platform/loading/PictureLoader.h"

#include <cmath>

namespace brindlewick {

bool Covers(const Picture& picture, const PaintSizeFor& paintSize) {
  const QSize pixels = picture.pixels().size();
  if (pixels == picture.naturalSize()) return true;
  const QSizeF painted = paintSize ? paintSize(picture.naturalSize()) : QSizeF();
  if (painted.isEmpty()) return false;
  return pixels.width() >= std::ceil(painted.width()) &&
         pixels.height() >= std::ceil(painted.height());
}

}  // namespace brindlewick
