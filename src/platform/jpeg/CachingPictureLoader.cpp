#include "platform/jpeg/CachingPictureLoader.h"

#include <cmath>

namespace brindlewick {

bool CachingPictureLoader::Covers(const Picture& picture, const PaintSizeFor& paintSize) {
  const QSize pixels = picture.pixels().size();
  if (pixels == picture.naturalSize()) return true;
  const QSizeF painted = paintSize ? paintSize(picture.naturalSize()) : QSizeF();
  if (painted.isEmpty()) return false;
  return pixels.width() >= std::ceil(painted.width()) &&
         pixels.height() >= std::ceil(painted.height());
}

Picture CachingPictureLoader::LoadPicture(const QString& path, const PaintSizeFor& paintSize) {
  const timespec start = FileClockNow();
  const std::optional<FileIdentity> before = IdentifyFile(path);
  if (before && !picture_.isNone() && path == path_ && *before == identity_ &&
      Covers(picture_, paintSize)) {
    return picture_;
  }
  picture_ = Picture();  // let the old pixels go before decoding new ones
  Picture picture = decoder_.LoadPicture(path, paintSize);
  // Kept only when the file did not change while it was read, and when a change after this
  // cannot leave its identity as it is: one in the same clock tick as its last change could.
  const std::optional<FileIdentity> after = IdentifyFile(path);
  if (before && after && *before == *after && ChangedBefore(*after, start)) {
    path_ = path;
    identity_ = *after;
    picture_ = picture;
  }
  return picture;
}

}  // namespace brindlewick
