#include "platform/jpeg/ExifOrientation.h"

#include <utility>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QTransform>

namespace brindlewick {

QImageIOHandler::Transformations ExifTransformation(const QByteArray& jpegData) {
  QByteArray data = jpegData;  // shares, never copies: QBuffer only reads it
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return QImageIOHandler::TransformationNone;
  QImageReader reader(&buffer, "jpeg");
  reader.setAutoTransform(false);
  return reader.transformation();
}

bool SwapsSides(QImageIOHandler::Transformations transformation) {
  return transformation.testFlag(QImageIOHandler::TransformationRotate90);
}

QImage ApplyTransformation(QImage image, QImageIOHandler::Transformations transformation) {
  const bool mirror = transformation.testFlag(QImageIOHandler::TransformationMirror);
  const bool flip = transformation.testFlag(QImageIOHandler::TransformationFlip);
  if (mirror || flip) image = std::move(image).mirrored(mirror, flip);
  if (SwapsSides(transformation)) image = image.transformed(QTransform().rotate(90));
  return image;
}

}  // namespace brindlewick
