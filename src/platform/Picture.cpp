#include "platform/Picture.h"

#include <utility>

namespace brindlewick {

Picture::Picture(QImage pixels) : Picture(pixels, pixels.size()) {}

Picture::Picture(QImage pixels, QSize naturalSize)
    : handle_(true), pixels_(std::move(pixels)), natural_(naturalSize) {}

}  // namespace brindlewick
