#include "modules/SaveAsJPG.h"

#include <cmath>
#include <limits>
#include <string>

#include <QString>

#include "platform/errors/RuntimeError.h"
#include "platform/files/FileBytes.h"
#include "platform/imaging/Guid.h"
#include "platform/imaging/ImagingLibrary.h"
#include "platform/surface/Surface.h"

namespace brindlewick {
namespace {

// Kept as text and converted on every write, as the imaging library publishes them.
constexpr char16_t kJpegEncoder[] = u"{557CF401-1A04-11D3-9A73-0000F81EF32E}";
constexpr char16_t kEncoderQuality[] = u"{1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}";

}  // namespace

void SaveJPG(const Picture& picture, const QString& path, uint8_t quality,
             ImagingLibrary& gdiplus) {
  // Made before the library starts, so nothing between start-up and shut-down can throw.
  const std::u16string filename = path.toStdU16String();
  uint32_t qualityCell = quality;

  uintptr_t token = 0;
  const GdiplusStartupInput startup;  // version 1, no debug callback, nothing suppressed
  GpStatus s = gdiplus.GdiplusStartup(&token, &startup, nullptr);
  if (s == ImagingStatus::Ok) {
    GpBitmap* bitmap = nullptr;
    s = gdiplus.GdipCreateBitmapFromHBITMAP(picture, nullptr, &bitmap);
    if (s == ImagingStatus::Ok) {
      Guid encoder;
      CLSIDFromString(kJpegEncoder, &encoder);
      EncoderParameters params;
      params.Count = 1;
      CLSIDFromString(kEncoderQuality, &params.Parameter[0].Guid);
      params.Parameter[0].NumberOfValues = 1;
      params.Parameter[0].Type = EncoderParameterValueTypeLong;
      params.Parameter[0].Value = &qualityCell;
      s = gdiplus.GdipSaveImageToFile(bitmap, filename.c_str(), &encoder, &params);
      gdiplus.GdipDisposeImage(bitmap);
    }
    gdiplus.GdiplusShutdown(token);
  }
  if (s != ImagingStatus::Ok) {
    throw RuntimeError(ErrorNumber::InvalidProcedureCall,
                       QStringLiteral("Cannot save the image. GDI+ Error:") + QString::number(s));
  }
}

int16_t QualityFromRatio(double w, double h, qint64 n) {
  const double e = 101 - (h * w * 3) / double(n);
  // Rounded to nearest with halves to even: the default floating-point rounding mode.
  const double q = std::nearbyint(e);
  if (!(q >= std::numeric_limits<int16_t>::min() && q <= std::numeric_limits<int16_t>::max())) {
    throw OverflowError();
  }
  if (q <= 0) return 1;
  if (q > 100) return 100;
  return static_cast<int16_t>(q);
}

int16_t DetectJPGQuality(const Surface& box, const QString& path) {
  // A picture carries no physical size here, so its pixel size stands for it.
  const float w = float(box.picture().width());
  const float h = float(box.picture().height());
  const qint64 length = FileLength(path);
  // The length is a 32-bit count; files of 2 GiB or more do not fit it.
  if (length > std::numeric_limits<int32_t>::max()) throw OverflowError();
  if (length == 0) throw DivisionByZeroError();
  return QualityFromRatio(w, h, length);
}

}  // namespace brindlewick
