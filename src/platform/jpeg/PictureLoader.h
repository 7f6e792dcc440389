#pragma once

#include <functional>

#include <QSizeF>

#include "platform/surface/Picture.h"

class QString;

namespace brindlewick {

// Tells the loader how large a picture of the given natural size is going to be painted, so that
// it may decode at a reduced scale that still covers that size. An empty size asks for full size.
using PaintSizeFor = std::function<QSizeF(QSize naturalSize)>;

// Loads a picture file (LoadPicture). An empty path gives no picture; a missing, unreadable or
// undecodable file is a RuntimeError.
class PictureLoader {
 public:
  virtual ~PictureLoader() = default;
  virtual Picture LoadPicture(const QString& path, const PaintSizeFor& paintSize) = 0;
};

}  // namespace brindlewick
