#pragma once

#include <cstdint>
#include <string>

namespace brindlewick::bench {

// Pictures too large to hold whole, written by libjpeg a band of rows at a time. Each goes to
// `path` beside it first and takes its name once complete, so a stopped run leaves no half file.

// The benchmark's photo-like landscape at any size, baseline 4:2:0, at the given quality.
bool WriteStreamedPhoto(const std::string& path, int width, int height, uint32_t seed, int quality);

// The same coefficients in libjpeg's default progressive script, as `jpegtran -progressive`
// writes them. libjpeg holds every coefficient of the picture meanwhile (about 3 bytes a pixel
// for 4:2:0).
bool WriteProgressiveCopy(const std::string& from, const std::string& path);

}  // namespace brindlewick::bench
