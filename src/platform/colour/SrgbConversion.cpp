#include "platform/colour/SrgbConversion.h"

#include <algorithm>
#include <cmath>
#include <list>
#include <mutex>
#include <utility>

#include <QByteArray>
#include <QCryptographicHash>
#include <QImage>

#include <lcms2.h>

#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

// Qt's 32-bit pixels in memory order, as Little CMS names them.
constexpr cmsUInt32Number kRgb32 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;
// Gray read from one of the three colour bytes, which hold the same value; the others are skipped.
constexpr cmsUInt32Number kGray32 =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        ? (COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3))
        : (COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3) | SWAPFIRST_SH(1));

struct ProfileClose {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileClose>;

Profile Open(QByteArrayView bytes) {
  if (bytes.isEmpty()) return nullptr;
  return Profile(cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size())));
}

cmsColorSpaceSignature SpaceOf(DecodedPixels pixels) {
  switch (pixels) {
    case DecodedPixels::Gray:
      return cmsSigGrayData;
    case DecodedPixels::InvertedCmyk:
      return cmsSigCmykData;
    case DecodedPixels::Colour:
      break;
  }
  return cmsSigRgbData;
}

cmsUInt32Number FormatOf(DecodedPixels pixels) {
  switch (pixels) {
    case DecodedPixels::Gray:
      return kGray32;
    case DecodedPixels::InvertedCmyk:
      return TYPE_CMYK_8_REV;
    case DecodedPixels::Colour:
      break;
  }
  return kRgb32;
}

// The profile's own rendering intent, or perceptual where it names none it can serve.
cmsUInt32Number IntentOf(void* profile) {
  const cmsUInt32Number intent = cmsGetHeaderRenderingIntent(profile);
  if (intent <= INTENT_ABSOLUTE_COLORIMETRIC &&
      cmsIsIntentSupported(profile, intent, LCMS_USED_AS_INPUT)) {
    return intent;
  }
  return INTENT_PERCEPTUAL;
}

bool Near(const cmsCIEXYZ* a, const cmsCIEXYZ* b, double tolerance) {
  return a && b && std::abs(a->X - b->X) < tolerance && std::abs(a->Y - b->Y) < tolerance &&
         std::abs(a->Z - b->Z) < tolerance;
}

bool SameCurve(const cmsToneCurve* a, const cmsToneCurve* b) {
  if (!a || !b) return false;
  for (int i = 0; i <= 255; ++i) {
    const float x = float(i) / 255;
    // Half a level of an 8-bit sample: what the conversion would round away anyway.
    if (std::abs(cmsEvalToneCurveFloat(a, x) - cmsEvalToneCurveFloat(b, x)) > 0.5f / 255) {
      return false;
    }
  }
  return true;
}

bool DescribedAsSrgb(void* profile) {
  char text[256] = {};
  cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
  const QByteArray description = QByteArray(text).simplified();
  return description.startsWith("sRGB IEC61966-2.1") || description.startsWith("sRGB IEC61966-2-1");
}

// A matrix/shaper profile is sRGB when its colourants and curves are, whatever it is called (an
// Adobe RGB profile may be described as sRGB by mistake); a table-based one only by its name.
bool MatchesSrgb(void* profile) {
  if (cmsGetColorSpace(profile) != cmsSigRgbData) return false;
  if (!cmsIsMatrixShaper(profile)) return DescribedAsSrgb(profile);
  static const Profile srgb(cmsCreate_sRGBProfile());
  for (const auto& [colourant, curve] : {std::pair{cmsSigRedColorantTag, cmsSigRedTRCTag},
                                         std::pair{cmsSigGreenColorantTag, cmsSigGreenTRCTag},
                                         std::pair{cmsSigBlueColorantTag, cmsSigBlueTRCTag}}) {
    if (!Near(static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colourant)),
              static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb.get(), colourant)), 0.002) ||
        !SameCurve(static_cast<const cmsToneCurve*>(cmsReadTag(profile, curve)),
                   static_cast<const cmsToneCurve*>(cmsReadTag(srgb.get(), curve)))) {
      return false;
    }
  }
  return true;
}

// The last few conversions built, by a digest of the profile and its size and the kind of pixel:
// photos of one camera or one export carry the same profile. The profiles themselves are not
// kept: a press profile can be 16 MiB.
class Conversions {
 public:
  static QByteArray KeyOf(QByteArrayView profile, DecodedPixels pixels) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(profile);
    return QByteArray::number(qint64(profile.size())) + char(pixels) + hash.result();
  }
  std::shared_ptr<const SrgbConversion> find(const QByteArray& key) {
    const std::lock_guard lock(mutex_);
    for (auto entry = kept_.begin(); entry != kept_.end(); ++entry) {
      if (entry->first != key) continue;
      kept_.splice(kept_.begin(), kept_, entry);
      return kept_.front().second;
    }
    return nullptr;
  }
  void keep(QByteArray key, std::shared_ptr<const SrgbConversion> conversion) {
    const std::lock_guard lock(mutex_);
    kept_.emplace_front(std::move(key), std::move(conversion));
    if (kept_.size() > kKept) kept_.pop_back();
  }

 private:
  static constexpr size_t kKept = 8;
  std::mutex mutex_;
  std::list<std::pair<QByteArray, std::shared_ptr<const SrgbConversion>>> kept_;
};

Conversions& Kept() {
  static Conversions conversions;
  return conversions;
}

}  // namespace

std::shared_ptr<const SrgbConversion> SrgbConversion::For(QByteArrayView profile,
                                                          DecodedPixels pixels) {
  if (profile.isEmpty()) return nullptr;
  const QByteArray key = Conversions::KeyOf(profile, pixels);
  if (std::shared_ptr<const SrgbConversion> kept = Kept().find(key)) return kept;
  const Profile from = Open(profile);
  if (!from || cmsGetColorSpace(from.get()) != SpaceOf(pixels) || MatchesSrgb(from.get())) {
    return nullptr;
  }
  const Profile srgb(cmsCreate_sRGBProfile());
  // No one-pixel cache: the same transform runs on several threads at once.
  void* transform = cmsCreateTransform(from.get(), FormatOf(pixels), srgb.get(), kRgb32,
                                       IntentOf(from.get()), cmsFLAGS_NOCACHE);
  if (!transform) return nullptr;
  std::shared_ptr<const SrgbConversion> conversion(new SrgbConversion(transform));
  Kept().keep(key, conversion);
  return conversion;
}

SrgbConversion::~SrgbConversion() { cmsDeleteTransform(transform_); }

void SrgbConversion::apply(QImage& image, int threads, const std::stop_token& stop) const {
  const int height = image.height(), width = image.width();
  uchar* const bits = image.bits();
  const qsizetype stride = image.bytesPerLine();
  const int strips = std::clamp(height / 64, 1, 4 * std::max(threads, 1));
  InParallel(strips, threads, [&](int strip) {
    const int top = height * strip / strips, bottom = height * (strip + 1) / strips;
    for (int y = top; y < bottom && !stop.stop_requested(); ++y) {
      uchar* line = bits + stride * y;
      cmsDoTransform(transform_, line, line, cmsUInt32Number(width));
      // Little CMS leaves the byte it does not write as it was; Qt's RGB32 wants it opaque.
      auto* pixels = reinterpret_cast<QRgb*>(line);
      for (int x = 0; x < width; ++x) pixels[x] |= 0xFF000000u;
    }
  });
}

}  // namespace brindlewick
