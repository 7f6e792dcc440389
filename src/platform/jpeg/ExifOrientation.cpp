#include "platform/jpeg/ExifOrientation.h"

#include <memory>
#include <optional>
#include <utility>

#include <QByteArray>
#include <QImage>
#include <QTransform>

#include <libexif/exif-data.h>

namespace brindlewick {
namespace {

struct ExifDataUnref {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};

std::optional<qint64> OrientationValue(ExifData* exif) {
  const ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (!entry || !entry->data || entry->components < 1) return std::nullopt;
  const ExifByteOrder order = exif_data_get_byte_order(exif);
  // SHORT is what the standard says; some writers store LONG or SLONG, and peers honour those.
  switch (entry->format) {
    case EXIF_FORMAT_SHORT:
      if (entry->size >= 2) return exif_get_short(entry->data, order);
      break;
    case EXIF_FORMAT_LONG:
      if (entry->size >= 4) return exif_get_long(entry->data, order);
      break;
    case EXIF_FORMAT_SLONG:
      if (entry->size >= 4) return exif_get_slong(entry->data, order);
      break;
    default:
      break;
  }
  return std::nullopt;
}

QImageIOHandler::Transformations FromOrientation(qint64 orientation) {
  using T = QImageIOHandler;
  switch (orientation) {
    case 2:
      return T::TransformationMirror;
    case 3:
      return T::TransformationRotate180;
    case 4:
      return T::TransformationFlip;
    case 5:
      return T::TransformationFlipAndRotate90;
    case 6:
      return T::TransformationRotate90;
    case 7:
      return T::TransformationMirrorAndRotate90;
    case 8:
      return T::TransformationRotate270;
    default:
      return T::TransformationNone;
  }
}

}  // namespace

QImageIOHandler::Transformations ExifTransformation(QByteArrayView exifBlock) {
  if (exifBlock.isEmpty()) return QImageIOHandler::TransformationNone;
  const std::unique_ptr<ExifData, ExifDataUnref> exif(exif_data_new());
  if (!exif) return QImageIOHandler::TransformationNone;
  // We only read: no fixing up of the data to the standard, which would add and rewrite entries.
  exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_set_option(exif.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
  // A segment's body is at most 65533 bytes, so its size fits libexif's unsigned int.
  exif_data_load_data(exif.get(), reinterpret_cast<const unsigned char*>(exifBlock.data()),
                      static_cast<unsigned int>(exifBlock.size()));
  return FromOrientation(OrientationValue(exif.get()).value_or(0));
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
