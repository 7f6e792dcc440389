#include "platform/jpeg/session/JpegSegments.h"

#include <algorithm>
#include <cstring>

#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <jpeglib.h>

namespace brindlewick {
namespace {

bool IsRestartMarker(uint8_t marker) { return (marker & 0xF8) == 0xD0; }

bool StandsAlone(uint8_t marker) {
  return marker == M_SOI || marker == JPEG_EOI || marker == M_TEM || IsRestartMarker(marker);
}

}  // namespace

JpegSegments::JpegSegments(QByteArrayView file)
    : bytes_(reinterpret_cast<const unsigned char*>(file.data())), size_(file.size()) {
  ended_ = size_ < 4 || bytes_[0] != 0xFF || bytes_[1] != M_SOI;
  pos_ = ended_ ? 0 : 2;
}

std::optional<JpegSegment> JpegSegments::next() {
  if (ended_) return std::nullopt;
  ended_ = true;  // until this segment proves whole
  if (pos_ + 1 >= size_ || bytes_[pos_] != 0xFF) return std::nullopt;
  while (pos_ + 1 < size_ && bytes_[pos_ + 1] == 0xFF) ++pos_;  // fill bytes
  if (pos_ + 1 >= size_) return std::nullopt;
  JpegSegment segment;
  segment.marker = bytes_[pos_ + 1];
  segment.at = pos_;
  segment.body = segment.end = pos_ + 2;
  segment.bytes = bytes_ + segment.body;
  if (!StandsAlone(segment.marker)) {
    if (segment.body + 2 > size_) return std::nullopt;
    const qsizetype length = qsizetype(bytes_[segment.body]) << 8 | bytes_[segment.body + 1];
    if (length < 2 || segment.body + length > size_) return std::nullopt;
    segment.body += 2;
    segment.end = segment.body + length - 2;
    segment.bytes = bytes_ + segment.body;
  }
  pos_ = segment.end;
  ended_ = segment.marker == JPEG_EOI;
  return segment;
}

bool JpegSegments::skipEntropyCodedData(const std::stop_token& stop) {
  // A photo's data is megabytes long: memchr finds each 0xFF, and the stop is heard between
  // stretches short enough to be read in well under a millisecond.
  constexpr qsizetype kStretch = qsizetype(1) << 18;
  while (pos_ + 1 < size_) {
    if (stop.stop_requested()) break;
    const qsizetype until = std::min(size_ - 1, pos_ + kStretch);
    while (pos_ < until) {
      const auto* found =
          static_cast<const unsigned char*>(std::memchr(bytes_ + pos_, 0xFF, size_t(until - pos_)));
      if (found == nullptr) {
        pos_ = until;
        break;
      }
      pos_ = found - bytes_;
      if (bytes_[pos_ + 1] != 0x00 && !IsRestartMarker(bytes_[pos_ + 1])) return true;
      ++pos_;
    }
  }
  ended_ = true;
  return false;
}

}  // namespace brindlewick
