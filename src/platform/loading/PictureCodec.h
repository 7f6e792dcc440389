#pragma once

#include <stop_token>

#include <QByteArray>
#include <QSizeF>

#include "platform/jpeg/JpegDecoder.h"

namespace brindlewick {

// The decoder as the loading policy sees it: a header first, then a plan for a paint size, then
// the decode the plan says. Tests put a decoder that holds its decodes until they say in its
// place.
class PictureCodec {
 public:
  virtual ~PictureCodec() = default;
  virtual JpegHeader readHeader(const QByteArray& file) const = 0;
  virtual DecodePlan plan(const JpegHeader& header, QSizeF painted, int threads) const = 0;
  virtual Picture decode(const QByteArray& file, const JpegHeader& header, const DecodePlan& plan,
                         const std::stop_token& stop) const = 0;
};

// The JPEG codec.
class JpegCodec : public PictureCodec {
 public:
  JpegHeader readHeader(const QByteArray& file) const override { return ReadJpegHeader(file); }
  DecodePlan plan(const JpegHeader& header, QSizeF painted, int threads) const override {
    return PlanDecode(header, painted, threads);
  }
  Picture decode(const QByteArray& file, const JpegHeader& header, const DecodePlan& plan,
                 const std::stop_token& stop) const override {
    return DecodeJpeg(file, header, plan, stop);
  }
};

}  // namespace brindlewick
