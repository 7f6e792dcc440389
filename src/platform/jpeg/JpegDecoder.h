#pragma once

#include <atomic>

#include <QByteArray>
#include <QImage>

#include "platform/jpeg/PictureLoader.h"

namespace brindlewick {

// Largest picture we agree to hold: 2^28 pixels is 1 GiB as 32-bit pixels, already far beyond
// any camera, and keeps every size computation well inside 32-bit signed range.
inline constexpr qint64 kMaxPicturePixels = qint64(1) << 28;
// Progressive and multi-scan files keep every coefficient of the picture while they decode, 128
// bytes per 8x8 block of each component at any scale. A gigabyte lets through a 2^28-pixel 4:2:0
// panorama and refuses tiny hostile files that declare huge full-colour pictures to make the
// decoder swallow memory.
inline constexpr qint64 kMaxCoefficientBytes = qint64(1) << 30;
// A JPEG file of the largest picture is far smaller than this.
inline constexpr qint64 kMaxPictureFileBytes = qint64(1) << 30;

// The DCT scale (num/denom) the decoder uses for a picture of width x height that will be painted
// at the given size: the smallest whose output still covers it; 1/1 when painted at natural size
// or larger, or when the painted size is unknown (empty).
struct DecodeScale {
  int num = 1;
  int denom = 1;
};
DecodeScale DecodeScaleFor(int width, int height, QSizeF painted);

// Decodes JPEG data in memory with libjpeg-turbo: baseline, progressive and arithmetic coding,
// every sampling layout the library takes, grayscale, RGB and CMYK/YCCK. The result is upright
// per its EXIF orientation; its natural size is the upright size. Data that the decoder only warns
// about (a file that ends early, stray bytes between segments) still gives what could be decoded.
// A failure names the step, "reading the JPEG header" or "decompressing the picture", and the
// library's text of the fatal error.
Picture DecodeJpeg(const QByteArray& data, const PaintSizeFor& paintSize = {});

// The pixels of JPEG data as stored (no EXIF orientation applied), decoded at the given DCT scale:
// ceil(width * scale) x ceil(height * scale), with the same limits and failures as DecodeJpeg.
QImage DecodeJpegAtScale(const QByteArray& data, DecodeScale scale);

// While one lives, a decode on its thread gives up with a RuntimeError at its next row (or stripe,
// while a progressive file is transcoded) once `stop` is set: a decode in the background for a
// file no longer shown makes way for the one that is.
class StopDecodingWhen {
 public:
  explicit StopDecodingWhen(const std::atomic<bool>& stop);
  ~StopDecodingWhen();
  StopDecodingWhen(const StopDecodingWhen&) = delete;
  StopDecodingWhen& operator=(const StopDecodingWhen&) = delete;
  // Whether the decode on this thread has been asked to stop.
  static bool asked();

 private:
  const std::atomic<bool>* outer_;
};

// LoadPicture for JPEG files.
class JpegFileLoader : public PictureLoader {
 public:
  Picture LoadPicture(const QString& path, const PaintSizeFor& paintSize) override;
};

}  // namespace brindlewick
