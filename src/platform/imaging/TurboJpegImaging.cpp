#include "platform/imaging/TurboJpegImaging.h"

#include <new>
#include <utility>

#include <QImage>
#include <QString>

#include "platform/errors/RuntimeError.h"
#include "platform/files/AtomicFile.h"
#include "platform/jpeg/JpegEncoder.h"
#include "platform/surface/Picture.h"

namespace brindlewick {

struct GpBitmap {
  QImage pixels;  // RGB32, never null
};

namespace {

constexpr int kDefaultQuality = 75;
constexpr uint32_t kMaxQuality = 100;

// Halving the colour resolution (4:2:0) saves about a third of the file and is invisible in
// photographs at ordinary qualities, where the quantiser's loss dominates. A user who asks for
// 90 or more wants the picture as it is, and at those qualities halved colour would be the
// largest loss left, smearing coloured edges and small coloured text; so keep full colour.
ChromaSubsampling SubsamplingFor(int quality) {
  return quality >= 90 ? ChromaSubsampling::Full444 : ChromaSubsampling::Quarter420;
}

GpStatus StatusOf(WriteOutcome outcome) {
  switch (outcome) {
    case WriteOutcome::Written:
      return ImagingStatus::Ok;
    case WriteOutcome::FolderNotFound:
      return ImagingStatus::FolderNotFound;
    case WriteOutcome::AccessDenied:
      return ImagingStatus::AccessDenied;
    case WriteOutcome::DiskFull:
      return ImagingStatus::DiskFull;
    case WriteOutcome::NotARegularFile:
      return ImagingStatus::NotARegularFile;
    case WriteOutcome::NameTooLong:
      return ImagingStatus::NameTooLong;
    case WriteOutcome::OutOfMemory:
      return ImagingStatus::OutOfMemory;
    case WriteOutcome::IoError:
      return ImagingStatus::IoError;
  }
  return ImagingStatus::IoError;
}

// The quality asked for in the parameter list; the library's default when there is none. The
// quality is the only parameter this encoder knows, so a list holds at most that one.
GpStatus ReadQuality(const EncoderParameters* params, int& quality) {
  quality = kDefaultQuality;
  if (!params || params->Count == 0) return ImagingStatus::Ok;
  const EncoderParameter& p = params->Parameter[0];
  if (params->Count != 1 || p.Guid != TurboJpegImaging::EncoderQualityId() ||
      p.NumberOfValues != 1 || p.Type != EncoderParameterValueTypeLong || !p.Value) {
    return ImagingStatus::InvalidParameter;
  }
  const uint32_t value = *static_cast<const uint32_t*>(p.Value);
  if (value > kMaxQuality) return ImagingStatus::InvalidParameter;
  quality = int(value);
  return ImagingStatus::Ok;
}

GpStatus Encode(const QImage& pixels, int quality, QByteArray& jpeg) {
  try {
    JpegEncoding encoding;
    encoding.quality = quality;
    encoding.subsampling = SubsamplingFor(quality);
    encoding.progressive = false;  // baseline: every decoder reads it
    encoding.optimizeHuffman = true;
    jpeg = EncodeJpeg(pixels, encoding);
    return ImagingStatus::Ok;
  } catch (const std::bad_alloc&) {
    return ImagingStatus::OutOfMemory;
  } catch (...) {
    return ImagingStatus::GenericError;
  }
}

}  // namespace

TurboJpegImaging::TurboJpegImaging() = default;
TurboJpegImaging::~TurboJpegImaging() = default;

Guid TurboJpegImaging::JpegEncoderId() {
  return {0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
}

Guid TurboJpegImaging::EncoderQualityId() {
  return {0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};
}

GpStatus TurboJpegImaging::GdiplusStartup(uintptr_t* token, const GdiplusStartupInput* input,
                                          GdiplusStartupOutput* output) noexcept {
  if (!token || !input || output) return ImagingStatus::InvalidParameter;
  if (input->GdiplusVersion != 1) return ImagingStatus::UnsupportedVersion;
  try {
    *token = ++lastToken_;
    tokens_.insert(*token);
    return ImagingStatus::Ok;
  } catch (...) {
    return ImagingStatus::OutOfMemory;
  }
}

GpStatus TurboJpegImaging::GdipCreateBitmapFromHBITMAP(const Picture& hbm, HPALETTE /*hpal*/,
                                                       GpBitmap** bitmap) noexcept {
  if (!bitmap) return ImagingStatus::InvalidParameter;
  *bitmap = nullptr;
  if (!started()) return ImagingStatus::NotInitialized;
  const QImage& source = hbm.pixels();
  if (hbm.isNone() || source.isNull() || hbm.width() <= 0 || hbm.height() <= 0) {
    return ImagingStatus::InvalidParameter;
  }
  try {
    auto made = std::make_unique<GpBitmap>();
    // A copy of its own, in the picture's own size: drawing on the surface later must not
    // reach the bitmap.
    made->pixels =
        source.size() == hbm.naturalSize()
            ? source.convertToFormat(QImage::Format_RGB32).copy()
            : source.scaled(hbm.naturalSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_RGB32);
    if (made->pixels.isNull()) return ImagingStatus::OutOfMemory;
    GpBitmap* handle = made.get();
    bitmaps_.emplace(handle, std::move(made));
    *bitmap = handle;
    return ImagingStatus::Ok;
  } catch (...) {
    return ImagingStatus::OutOfMemory;
  }
}

GpStatus TurboJpegImaging::GdipSaveImageToFile(GpBitmap* image, const char16_t* filename,
                                               const Guid* clsidEncoder,
                                               const EncoderParameters* encoderParams) noexcept {
  if (!image || !filename || !clsidEncoder || !bitmaps_.contains(image)) {
    return ImagingStatus::InvalidParameter;
  }
  if (!started()) return ImagingStatus::NotInitialized;
  if (*clsidEncoder != JpegEncoderId()) return ImagingStatus::UnknownImageFormat;
  int quality = 0;
  if (const GpStatus s = ReadQuality(encoderParams, quality); s != ImagingStatus::Ok) return s;
  if (filename[0] == u'\0') return ImagingStatus::InvalidParameter;
  try {
    QByteArray jpeg;
    if (const GpStatus s = Encode(image->pixels, quality, jpeg); s != ImagingStatus::Ok) return s;
    return StatusOf(WriteFileAtomically(QString::fromUtf16(filename), jpeg));
  } catch (const std::bad_alloc&) {
    return ImagingStatus::OutOfMemory;
  } catch (...) {
    return ImagingStatus::GenericError;
  }
}

GpStatus TurboJpegImaging::GdipDisposeImage(GpBitmap* image) noexcept {
  return bitmaps_.erase(image) == 1 ? ImagingStatus::Ok : ImagingStatus::InvalidParameter;
}

void TurboJpegImaging::GdiplusShutdown(uintptr_t token) noexcept {
  tokens_.erase(token);
  // Bitmaps do not outlive the library's last user.
  if (tokens_.empty()) bitmaps_.clear();
}

}  // namespace brindlewick
