#include "FuzzTargets.h"

#include <QByteArray>
#include <QImage>

#include "output/SaveAsJPG.h"
#include "platform/ExifOrientation.h"
#include "platform/JpegDecoder.h"
#include "platform/RuntimeError.h"
#include "view/FitGeometry.h"

namespace brindlewick::fuzz {
namespace {

QByteArray Bytes(const uint8_t* data, size_t size) {
  return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

}  // namespace

void Picture(const uint8_t* data, size_t size) {
  const QByteArray bytes = Bytes(data, size);
  try {
    // As the program's view asks for it: fitted into 685 x 485.
    const brindlewick::Picture picture = DecodeJpeg(bytes, [](QSize natural) {
      return QSizeF(natural) * FitScale(natural.width(), natural.height(), 685, 485);
    });
    QualityFromRatio(picture.width(), picture.height(), qint64(size) + 1);
  } catch (const RuntimeError&) {
    // A clear failure is the right answer to a bad file.
  }
}

void ExifOrientation(const uint8_t* data, size_t size) {
  const auto transformation = ExifTransformation(Bytes(data, size));
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::red);
  const QImage upright = ApplyTransformation(image, transformation);
  if (upright.size() != (SwapsSides(transformation) ? QSize(2, 3) : QSize(3, 2))) __builtin_trap();
}

}  // namespace brindlewick::fuzz
