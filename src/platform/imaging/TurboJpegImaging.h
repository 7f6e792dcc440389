#pragma once

#include <map>
#include <memory>
#include <set>

#include "platform/imaging/ImagingLibrary.h"

namespace brindlewick {

// The imaging library on libjpeg-turbo: it knows one encoder, baseline JPEG with optimised
// Huffman tables, and one encoder parameter, the quality 0..100. Files are written atomically
// (see WriteFileAtomically).
class TurboJpegImaging final : public ImagingLibrary {
 public:
  TurboJpegImaging();
  ~TurboJpegImaging() override;

  GpStatus GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input,
                          GdiplusStartupOutput* output) noexcept override;
  GpStatus GdipCreateBitmapFromHBITMAP(const Picture& hbm, HPALETTE hpal,
                                       GpBitmap** bitmap) noexcept override;
  GpStatus GdipSaveImageToFile(GpBitmap* image, const char16_t* filename, const Guid* clsidEncoder,
                               const EncoderParameters* encoderParams) noexcept override;
  GpStatus GdipDisposeImage(GpBitmap* image) noexcept override;
  void GdiplusShutdown(uintptr_t token) noexcept override;

  // The identities this library answers to.
  static Guid JpegEncoderId();
  static Guid EncoderQualityId();

 private:
  bool started() const { return !tokens_.empty(); }

  std::set<uintptr_t> tokens_;
  uintptr_t lastToken_ = 0;
  std::map<const GpBitmap*, std::unique_ptr<GpBitmap>> bitmaps_;
};

}  // namespace brindlewick
