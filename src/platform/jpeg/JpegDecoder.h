#pragma once

#include <QByteArray>
#include <QImage>

#include "platform/jpeg/session/DecodeRequest.h"
#include "platform/surface/Picture.h"

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
// The largest press profiles are a few megabytes; a larger one is not read, and the picture shows
// as if it had none.
inline constexpr qint64 kMaxProfileBytes = qint64(16) << 20;

// The DCT scale the decoder uses for a picture of width x height that will be painted at the
// given size: the smallest whose output still covers it; 1/1 when painted at natural size or
// larger, or when the painted size is unknown (empty).
DecodeScale DecodeScaleFor(int width, int height, QSizeF painted);

// Decodes JPEG data in memory with libjpeg-turbo: baseline, progressive and arithmetic coding,
// every sampling layout the library takes, grayscale, RGB and CMYK/YCCK. The result is upright
// per its EXIF orientation; its natural size is the upright size; its pixels are sRGB, turned
// from the colour space of the file's ICC profile where it carries one that is usable and not
// sRGB already (a file without one is taken to be sRGB). Data that the decoder only warns
// about (a file that ends early, stray bytes between segments) still gives what could be decoded.
// A failure names the step, "reading the JPEG header" or "decompressing the picture", and the
// library's text of the fatal error; a decode asked to stop fails with "the decode was stopped".
//
// The file's header is read once; a progressive file shown smaller than its size, and a file cut
// by restart markers into rows, then take quicker ways to the same pixels.
Picture DecodeJpeg(const QByteArray& data, const PictureRequest& request = {});

// The pixels of JPEG data as stored (no EXIF orientation applied), decoded whole on one thread at
// the given DCT scale: ceil(width * scale) x ceil(height * scale), with the same limits and
// failures as DecodeJpeg. What the quicker ways must give.
QImage DecodeJpegAtScale(const QByteArray& data, DecodeScale scale);

}  // namespace brindlewick
