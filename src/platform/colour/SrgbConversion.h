#pragma once

#include <memory>
#include <stop_token>

#include <QByteArrayView>

class QImage;

namespace brindlewick {

// How decoded pixels lie in a QImage of Qt's 32-bit pixels before they are turned into sRGB:
// colour as the file holds it, gray repeated in the three colour bytes, or CMYK as Adobe writes it
// (inverted), four bytes to the pixel, as libjpeg gives it.
enum class DecodedPixels { Colour, Gray, InvertedCmyk };

// A file's ICC colour profile as Little CMS reads it, and the transform from its colour space into
// sRGB, the space the screen and every untagged file are taken to be in. Built once per profile:
// a later file with the same profile takes the same transform.
class SrgbConversion {
 public:
  // The conversion for pixels decoded as `pixels` in the colour space the profile describes;
  // none when the profile is sRGB itself (the pixels are already what the screen shows), or
  // unusable: malformed, for another kind of pixel, or refused by Little CMS.
  static std::shared_ptr<const SrgbConversion> For(QByteArrayView profile, DecodedPixels pixels);

  ~SrgbConversion();
  SrgbConversion(const SrgbConversion&) = delete;
  SrgbConversion& operator=(const SrgbConversion&) = delete;

  // Turns the image's pixels into sRGB in place, on up to `threads` cores; alpha stays opaque.
  // Once the stop is asked for, the rest of the rows are left as they are.
  void apply(QImage& image, int threads, const std::stop_token& stop = {}) const;

 private:
  explicit SrgbConversion(void* transform) : transform_(transform) {}
  void* transform_;  // cmsHTRANSFORM, owned
};

}  // namespace brindlewick
