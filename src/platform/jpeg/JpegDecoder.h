#pragma once

#include <memory>
#include <stop_token>

#include <QByteArray>
#include <QImageIOHandler>
#include <QSize>
#include <QSizeF>

#include "platform/jpeg/session/CodingFacts.h"
#include "platform/jpeg/session/DecodeRequest.h"
#include "platform/surface/Picture.h"

namespace brindlewick {

class SrgbConversion;

// Largest picture we agree to hold: 2^28 pixels is 1 GiB as 32-bit pixels, already far beyond
// any camera, and keeps every size computation well inside 32-bit signed range.
inline constexpr qint64 kMaxPicturePixels = qint64(1) << 28;
// Progressive and multi-scan files keep every coefficient of the picture while they decode, 128
// bytes per 8x8 block of each component at any scale. A gigabyte lets through a 2^28-pixel 4:2:0
// panorama and refuses tiny hostile files that declare huge full-colour pictures to make the
// decoder swallow memory. libjpeg's own limit, max_memory_to_use, stays unset (no limit): set,
// libjpeg-turbo's memory manager without a backing store fails a file past it with "Backing
// store not supported", where this limit names the size.
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

// What a JPEG file's header tells, read once per file: the sizes, the EXIF orientation, the
// conversion its colour profile asks for, and every fact the ways of decoding look at to say
// whether they take the file and on how many cores.
struct JpegHeader {
  QSize stored;   // as the file stores the picture
  QSize natural;  // upright, as it is shown
  QImageIOHandler::Transformations transformation;
  std::shared_ptr<const SrgbConversion> toSrgb;  // none for sRGB and untagged files
  CodingFacts coding;
};

// How a file is going to be decoded for a paint size on a number of cores: at which scale, which
// way, and how many of the cores given that way keeps busy (the calling thread's included).
struct DecodePlan {
  DecodeScale scale;
  int threads = 1;
  DecodeWay way = DecodeWay::Whole;
  int cores = 1;
  // Whether the pixels of this plan cover what `other` asks for: the same or a larger scale.
  bool covers(const DecodePlan& other) const;
};

// Reads the header of JPEG data in memory. A failure names the step, "reading the JPEG header",
// and the library's text, or the limit the picture passes.
JpegHeader ReadJpegHeader(const QByteArray& data);

// The plan for painting the upright picture at `painted` (empty: full size) on up to `threads`
// cores (the program gives the machine's): the smallest scale that covers it, and the first way of
// decoding that takes the file at that scale.
DecodePlan PlanDecode(const JpegHeader& header, QSizeF painted, int threads);

// Decodes JPEG data in memory with libjpeg-turbo as planned: baseline, progressive and
// arithmetic coding, every sampling layout the library takes, grayscale, RGB and CMYK/YCCK. The
// result is upright per its EXIF orientation; its natural size is the upright size; its pixels
// are sRGB, turned from the colour space of the file's ICC profile where it carries one that is
// usable and not sRGB already (a file without one is taken to be sRGB). Data that the decoder
// only warns about (a file that ends early, stray bytes between segments) still gives what could
// be decoded. A failure names the step, "decompressing the picture", and the library's text of
// the fatal error; a decode asked to stop fails with "the decode was stopped". A way of decoding
// that cannot vouch for its pixels gives way to the whole-file decode.
Picture DecodeJpeg(const QByteArray& data, const JpegHeader& header, const DecodePlan& plan,
                   const std::stop_token& stop = {});

}  // namespace brindlewick
