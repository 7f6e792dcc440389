#pragma once

#include <stop_token>

namespace brindlewick {

// The DCT scale (num/denom) of a decode: libjpeg-turbo scales by whole eighths.
struct DecodeScale {
  int num = 1;
  int denom = 1;
  friend bool operator==(const DecodeScale&, const DecodeScale&) = default;
};

// The ways of decoding a file (ways/DecodeWays.cpp holds what each takes and how it decodes):
// libjpeg's own decode of the whole file, which every other way falls back on; a progressive
// file's needed scans turned into a sequential stream, or left in the file without the scans the
// scale does not need; a baseline file's data cut into parts that fall into step, for the first
// view; its rows decoded in bands from starts a walk over the codes finds; and the bands of a file
// cut by restart markers.
enum class DecodeWay { Whole, ProgressiveStream, ProgressivePruned, Split, Bands, RestartBands };

// What becomes of CMYK: turned into RGB as Adobe writes it (inverted), the convention
// libjpeg-turbo itself uses; or kept as stored, four bytes to the pixel, for a colour profile to
// turn into RGB.
enum class CmykPixels { ToRgb, AsStored };

// What every way of decoding a file is handed: the scale chosen for the picture as stored, the
// cores it keeps busy, the stop, and what becomes of CMYK.
struct DecodeRequest {
  DecodeScale scale;
  int threads = 1;
  std::stop_token stop;
  CmykPixels cmyk = CmykPixels::ToRgb;
};

}  // namespace brindlewick
