#include "platform/jpeg/JpegDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <optional>

#include <QString>

#include "platform/colour/SrgbConversion.h"
#include "platform/errors/RuntimeError.h"
#include "platform/jpeg/ExifOrientation.h"
#include "platform/jpeg/JpegEncoder.h"
#include "platform/jpeg/fast/BandedDecode.h"
#include "platform/jpeg/fast/ProgressiveDecoder.h"
#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

RuntimeError InvalidPicture(const QString& why) {
  return RuntimeError(ErrorNumber::InvalidPicture, QStringLiteral("Invalid picture: ") + why);
}

RuntimeError Failure(const JpegSession& jpeg, const char* attempt) {
  if (jpeg.stopped()) return InvalidPicture(QLatin1String(jpeg.message()));
  return InvalidPicture(QLatin1String(attempt) + QStringLiteral(": ") +
                        QString::fromLocal8Bit(jpeg.message()));
}

void StopIfAsked(const std::stop_token& stop) {
  if (stop.stop_requested()) throw InvalidPicture(QStringLiteral("the decode was stopped"));
}

// What libjpeg allocates for the coefficients of a file it must read whole before showing it.
qint64 CoefficientBytes(const jpeg_decompress_struct& info) {
  qint64 bytes = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    const auto padded = [](qint64 blocks, qint64 factor) {
      return (blocks + factor - 1) / factor * factor;
    };
    bytes += padded(component.width_in_blocks, component.h_samp_factor) *
             padded(component.height_in_blocks, component.v_samp_factor) * qint64(sizeof(JBLOCK));
  }
  return bytes;
}

void CheckLimits(JpegSession& jpeg) {
  const qint64 w = jpeg.info().image_width, h = jpeg.info().image_height;
  if (w <= 0 || h <= 0 || w * h > kMaxPicturePixels) {
    throw InvalidPicture(QStringLiteral("%1 x %2 pixels is more than this program can hold "
                                        "(at most %3 pixels)")
                             .arg(w)
                             .arg(h)
                             .arg(kMaxPicturePixels));
  }
  if (jpeg_has_multiple_scans(&jpeg.info()) &&
      CoefficientBytes(jpeg.info()) > kMaxCoefficientBytes) {
    throw InvalidPicture(QStringLiteral("%1 x %2 pixels stored progressively need more memory "
                                        "than this program allows (%3 MiB)")
                             .arg(w)
                             .arg(h)
                             .arg(kMaxCoefficientBytes >> 20));
  }
}

// A small picture with detail in every block, so that every coefficient carries something.
QImage CheckPicture() {
  QImage image(48, 32, QImage::Format_RGB32);
  uint32_t noise = 12345;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      noise = noise * 1103515245u + 12345u;
      const int n = int(noise >> 24) & 63;
      image.setPixel(x, y, qRgb((x * 5 + n) & 255, (y * 7 + 2 * n) & 255, (x * y + 3 * n) & 255));
    }
  }
  return image;
}

// Whether the pruned decode of progressive files may be used with the libjpeg-turbo this program
// runs on: the build's version is one it was checked against, and a small progressive picture
// decodes to the same pixels both ways. Found out once, on first use.
bool PruningHolds() {
  static const bool holds = [] {
    if (!PruningCheckedAgainstThisLibrary()) return false;
    try {
      const JpegEncoding progressive{95, ChromaSubsampling::Quarter420, true, true};
      return PrunedDecodeMatchesWholeFile(EncodeJpeg(CheckPicture(), progressive));
    } catch (...) {
      return false;
    }
  }();
  return holds;
}

// The picture as stored at the request's scale: the quickest way that gives the whole file's
// pixels, and never another once the decode was asked to stop. CMYK comes as stored when a
// profile is to turn it into RGB.
QImage DecodeStored(JpegSession& jpeg, const QByteArray& data, const DecodeRequest& request,
                    JpegSession::Cmyk cmyk) {
  if (jpeg.info().progressive_mode && PruningHolds()) {
    // Shown smaller than its size, a progressive file's scans mostly carry nothing the reduced
    // DCT reads, and its coefficients need not all be held.
    if (std::optional<QImage> pruned = DecodeProgressivePruned(jpeg, data, request)) {
      return std::move(*pruned);
    }
    StopIfAsked(request.stop);
  }
  // A file cut by restart markers into rows decodes on all the cores allowed, to the same pixels.
  if (std::optional<QImage> banded = DecodeInBands(jpeg, data, request)) return std::move(*banded);
  StopIfAsked(request.stop);
  std::optional<QImage> whole = jpeg.decode(request.scale, true, cmyk);
  if (!whole) throw Failure(jpeg, "decompressing the picture");
  return std::move(*whole);
}

// How many of the allowed cores the decode will keep busy, as far as the header tells: a
// progressive file goes through the stream made on three threads of its own beside the calling
// one, and a file with restart markers decodes in bands on all of them; anything else decodes on
// the calling thread alone.
int CoresBusy(const jpeg_decompress_struct& info, int threads) {
  if (threads < 2) return 1;
  if (info.progressive_mode) return PruningHolds() ? std::min(threads, 4) : 1;
  return info.restart_interval > 0 ? threads : 1;
}

DecodedPixels DecodedAs(const JpegSession& jpeg) {
  if (jpeg.cmyk()) return DecodedPixels::InvertedCmyk;
  return jpeg.info().num_components == 1 ? DecodedPixels::Gray : DecodedPixels::Colour;
}

// The conversion into sRGB the file's colour profile asks for; none for a file without one, with
// an sRGB one, or with one that cannot be used, which all show their numbers as sRGB.
std::shared_ptr<const SrgbConversion> ColourConversion(JpegSession& jpeg) {
  if (jpeg.info().num_components != 1 && jpeg.info().num_components != 3 && !jpeg.cmyk()) {
    return nullptr;
  }
  return SrgbConversion::For(jpeg.iccProfile(kMaxProfileBytes), DecodedAs(jpeg));
}

}  // namespace

DecodeScale DecodeScaleFor(int width, int height, QSizeF painted) {
  const DecodeScale full;
  if (painted.isEmpty() || painted.width() >= width || painted.height() >= height) return full;
  // libjpeg-turbo scales by n/8; the output is ceil(size * n / 8).
  const auto scaled = [](int size, int n) { return int((qint64(size) * n + 7) / 8); };
  int best = 8;
  for (int n = 7; n >= 1; --n) {
    const int w = scaled(width, n), h = scaled(height, n);
    if (w >= std::ceil(painted.width()) && h >= std::ceil(painted.height()) &&
        w < scaled(width, best)) {
      best = n;
    }
  }
  const int divisor = std::gcd(best, 8);
  return {best / divisor, 8 / divisor};
}

Picture DecodeJpeg(const QByteArray& data, const PictureRequest& request) {
  if (data.isEmpty()) throw InvalidPicture(QStringLiteral("the file is empty"));
  JpegSession jpeg(request.stop);
  if (!jpeg.readHeader(data, true)) throw Failure(jpeg, "reading the JPEG header");
  CheckLimits(jpeg);
  const auto transformation =
      ExifTransformation(jpeg.savedSegment(JPEG_APP0 + 1, {kExifHeader, sizeof kExifHeader}));
  const QSize stored(int(jpeg.info().image_width), int(jpeg.info().image_height));
  const QSize natural = SwapsSides(transformation) ? stored.transposed() : stored;
  QSizeF painted = request.paintSize ? request.paintSize(natural) : QSizeF();
  if (SwapsSides(transformation)) painted.transpose();
  const DecodeScale scale = DecodeScaleFor(stored.width(), stored.height(), painted);
  if (request.coresBusy) request.coresBusy(CoresBusy(jpeg.info(), request.threads));
  const std::shared_ptr<const SrgbConversion> toSrgb = ColourConversion(jpeg);
  QImage pixels = DecodeStored(jpeg, data, {scale, request.threads, request.stop},
                               toSrgb ? JpegSession::Cmyk::AsStored : JpegSession::Cmyk::ToRgb);
  // At the decoded size, which is mostly the size shown: once, before both paintings take them.
  if (toSrgb) toSrgb->apply(pixels, request.threads);
  return Picture(ApplyTransformation(std::move(pixels), transformation), natural);
}

QImage DecodeJpegAtScale(const QByteArray& data, DecodeScale scale) {
  if (data.isEmpty()) throw InvalidPicture(QStringLiteral("the file is empty"));
  JpegSession jpeg;
  if (!jpeg.readHeader(data)) throw Failure(jpeg, "reading the JPEG header");
  CheckLimits(jpeg);
  std::optional<QImage> whole = jpeg.decode(scale);
  if (!whole) throw Failure(jpeg, "decompressing the picture");
  return std::move(*whole);
}

}  // namespace brindlewick
