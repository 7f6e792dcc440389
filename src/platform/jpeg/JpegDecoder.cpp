#include "platform/jpeg/JpegDecoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <QString>

#include "platform/errors/RuntimeError.h"
#include "platform/files/FileBytes.h"
#include "platform/jpeg/BandedDecode.h"
#include "platform/jpeg/ExifOrientation.h"
#include "platform/jpeg/JpegMarkers.h"
#include "platform/jpeg/TurboJpegHandle.h"

namespace brindlewick {
namespace {

RuntimeError InvalidPicture(const QString& why) {
  return RuntimeError(ErrorNumber::InvalidPicture, QStringLiteral("Invalid picture: ") + why);
}

QString TjMessage(tjhandle handle) { return QString::fromLocal8Bit(tjGetErrorStr2(handle)); }

// Samples per pixel, all components counted, for a TurboJPEG subsampling.
double SamplesPerPixel(int subsampling, int colorspace) {
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) return 4;
  switch (subsampling) {
    case TJSAMP_GRAY:
      return 1;
    case TJSAMP_444:
      return 3;
    case TJSAMP_422:
    case TJSAMP_440:
      return 2;
    default:
      return 1.5;
  }
}

// CMYK as Adobe writes it (inverted), the convention libjpeg-turbo itself uses.
void CmykToRgb32(const std::vector<unsigned char>& cmyk, QImage& out) {
  const unsigned char* p = cmyk.data();
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x, p += 4) {
      const int k = p[3];
      line[x] = qRgb(p[0] * k / 255, p[1] * k / 255, p[2] * k / 255);
    }
  }
}

}  // namespace

DecodeScale DecodeScaleFor(int width, int height, QSizeF painted) {
  const DecodeScale full;
  if (painted.isEmpty() || painted.width() >= width || painted.height() >= height) return full;
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  tjscalingfactor best{1, 1};
  for (int i = 0; i < count; ++i) {
    const tjscalingfactor f = factors[i];
    if (f.num > f.denom) continue;
    const int w = TJSCALED(width, f);
    const int h = TJSCALED(height, f);
    if (w >= std::ceil(painted.width()) && h >= std::ceil(painted.height()) &&
        w < TJSCALED(width, best)) {
      best = f;
    }
  }
  return {best.num, best.denom};
}

Picture DecodeJpeg(const QByteArray& data, const PaintSizeFor& paintSize) {
  if (data.isEmpty()) throw InvalidPicture(QStringLiteral("the file is empty"));
  TjHandle owner(tjInitDecompress());
  tjhandle handle = owner.get();
  if (!handle) throw InvalidPicture(TjMessage(nullptr));

  const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
  const auto size = static_cast<unsigned long>(data.size());
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(handle, bytes, size, &width, &height, &subsampling, &colorspace) != 0) {
    throw InvalidPicture(TjMessage(handle));
  }
  if (width <= 0 || height <= 0 || qint64(width) * height > kMaxPicturePixels) {
    throw InvalidPicture(QStringLiteral("%1 x %2 pixels is more than this program can hold "
                                        "(at most %3 pixels)")
                             .arg(width)
                             .arg(height)
                             .arg(kMaxPicturePixels));
  }

  const double coefficientBytes =
      2.0 * double(width) * height * SamplesPerPixel(subsampling, colorspace);
  if (coefficientBytes > double(kMaxCoefficientBytes) &&
      ReadJpegLayout(data).keepsAllCoefficients()) {
    throw InvalidPicture(QStringLiteral("%1 x %2 pixels stored progressively need more memory "
                                        "than this program allows (%3 MiB)")
                             .arg(width)
                             .arg(height)
                             .arg(kMaxCoefficientBytes >> 20));
  }

  const auto transformation = ExifTransformation(data);
  const QSize natural = SwapsSides(transformation) ? QSize(height, width) : QSize(width, height);
  QSizeF painted = paintSize ? paintSize(natural) : QSizeF();
  if (SwapsSides(transformation)) painted.transpose();
  const DecodeScale chosen = DecodeScaleFor(width, height, painted);
  const tjscalingfactor scale{chosen.num, chosen.denom};
  const int outWidth = TJSCALED(width, scale);
  const int outHeight = TJSCALED(height, scale);

  QImage pixels(outWidth, outHeight, QImage::Format_RGB32);
  if (pixels.isNull()) throw std::bad_alloc();
  const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
  std::vector<unsigned char> cmykBuffer;
  unsigned char* target = pixels.bits();
  int pitch = int(pixels.bytesPerLine());
  int format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
  if (cmyk) {
    cmykBuffer.resize(size_t(outWidth) * outHeight * 4);
    target = cmykBuffer.data();
    pitch = outWidth * 4;
    format = TJPF_CMYK;
  }
  // Progressive files with thousands of scans take minutes to decode for nothing.
  const int flags = TJFLAG_LIMITSCANS;
  const bool banded = !cmyk && DecodeInBands(data, chosen, pixels);
  if (!banded &&
      tjDecompress2(handle, bytes, size, target, outWidth, pitch, outHeight, format, flags) != 0 &&
      tjGetErrorCode(handle) != TJERR_WARNING) {
    throw InvalidPicture(TjMessage(handle));
  }
  if (cmyk) CmykToRgb32(cmykBuffer, pixels);

  return Picture(ApplyTransformation(std::move(pixels), transformation), natural);
}

Picture JpegFileLoader::LoadPicture(const QString& path, const PaintSizeFor& paintSize) {
  if (path.isEmpty()) return Picture();
  return DecodeJpeg(ReadRegularFile(path, kMaxPictureFileBytes), paintSize);
}

}  // namespace brindlewick
