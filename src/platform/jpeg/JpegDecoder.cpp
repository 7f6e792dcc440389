#include "platform/jpeg/JpegDecoder.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <optional>

#include <QString>

#include "platform/colour/SrgbConversion.h"
#include "platform/errors/RuntimeError.h"
#include "platform/jpeg/ExifOrientation.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/jpeg/ways/DecodeWays.h"

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

// The picture as stored at the plan's scale: the planned way, or the whole file where that way
// cannot vouch for its pixels; never another way once the decode was asked to stop. CMYK comes as
// stored when a profile is to turn it into RGB.
QImage DecodeStored(JpegSession& jpeg, const QByteArray& data, const JpegHeader& header,
                    const DecodePlan& plan, const std::stop_token& stop) {
  const CmykPixels cmyk = header.toSrgb ? CmykPixels::AsStored : CmykPixels::ToRgb;
  std::optional<QImage> pixels =
      DecodeTheWay(plan.way, header.coding, jpeg, data, {plan.scale, plan.cores, stop, cmyk});
  if (!pixels) {
    StopIfAsked(stop);
    throw Failure(jpeg, "decompressing the picture");
  }
  return std::move(*pixels);
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

bool DecodePlan::covers(const DecodePlan& other) const {
  return qint64(scale.num) * other.scale.denom >= qint64(other.scale.num) * scale.denom;
}

JpegHeader ReadJpegHeader(const QByteArray& data) {
  if (data.isEmpty()) throw InvalidPicture(QStringLiteral("the file is empty"));
  JpegSession jpeg;
  if (!jpeg.readHeader(data, true)) throw Failure(jpeg, "reading the JPEG header");
  CheckLimits(jpeg);
  JpegHeader header;
  header.transformation =
      ExifTransformation(jpeg.savedSegment(JPEG_APP0 + 1, {kExifHeader, sizeof kExifHeader}));
  header.stored = QSize(int(jpeg.info().image_width), int(jpeg.info().image_height));
  header.natural = SwapsSides(header.transformation) ? header.stored.transposed() : header.stored;
  header.toSrgb = ColourConversion(jpeg);
  header.coding = ReadCodingFacts(jpeg, data);
  return header;
}

DecodePlan PlanDecode(const JpegHeader& header, QSizeF painted, int threads) {
  if (SwapsSides(header.transformation)) painted.transpose();
  DecodePlan plan;
  plan.scale = DecodeScaleFor(header.stored.width(), header.stored.height(), painted);
  plan.threads = std::max(threads, 1);
  const ChosenWay way = ChooseWay(header.coding, plan.scale, plan.threads);
  plan.way = way.way;
  plan.cores = way.cores;
  return plan;
}

Picture DecodeJpeg(const QByteArray& data, const JpegHeader& header, const DecodePlan& plan,
                   const std::stop_token& stop) {
  if (data.isEmpty()) throw InvalidPicture(QStringLiteral("the file is empty"));
  JpegSession jpeg(stop);
  if (!jpeg.readHeader(data)) throw Failure(jpeg, "reading the JPEG header");
  CheckLimits(jpeg);
  QImage pixels = DecodeStored(jpeg, data, header, plan, stop);
  // At the decoded size, which is mostly the size shown: once, before both paintings take them.
  if (header.toSrgb) header.toSrgb->apply(pixels, plan.threads, stop);
  StopIfAsked(stop);
  return Picture(ApplyTransformation(std::move(pixels), header.transformation), header.natural);
}

}  // namespace brindlewick
