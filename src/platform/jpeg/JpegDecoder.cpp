#include "platform/jpeg/JpegDecoder.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <new>
#include <numeric>
#include <optional>
#include <vector>

#include <QString>

#include <jpeglib.h>

#include "platform/errors/RuntimeError.h"
#include "platform/files/FileBytes.h"
#include "platform/jpeg/BandedDecode.h"
#include "platform/jpeg/ExifOrientation.h"
#include "platform/jpeg/ProgressiveDecoder.h"

namespace brindlewick {
namespace {

// TurboJPEG's limit, kept: progressive files with thousands of scans take minutes to decode for
// nothing, each repeated scan being only a warning.
constexpr int kMaxScans = 500;

thread_local const std::atomic<bool>* tStop = nullptr;

RuntimeError InvalidPicture(const QString& why) {
  return RuntimeError(ErrorNumber::InvalidPicture, QStringLiteral("Invalid picture: ") + why);
}

// libjpeg's error handling made fit for C++: a fatal error jumps back to the step that failed,
// keeping the library's own text; a warning is only counted and never refuses the file. The
// progress monitor rides along so that it can fail a file the same way.
struct ErrorManager {
  jpeg_error_mgr library{};
  jpeg_progress_mgr progress{};
  std::jmp_buf jump{};
  char message[JMSG_LENGTH_MAX] = {};
};

ErrorManager& Errors(j_common_ptr info) { return *reinterpret_cast<ErrorManager*>(info->err); }

[[noreturn]] void FailStep(j_common_ptr info) {
  ErrorManager& errors = Errors(info);
  (*info->err->format_message)(info, errors.message);
  std::longjmp(errors.jump, 1);
}

void CountWarning(j_common_ptr info, int level) {
  if (level < 0) ++info->err->num_warnings;
}

void Discard(j_common_ptr) {}

void LimitScans(j_common_ptr info) {
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number <= kMaxScans) return;
  ErrorManager& errors = Errors(info);
  std::snprintf(errors.message, sizeof errors.message, "JPEG image has more than %d scans",
                kMaxScans);
  std::longjmp(errors.jump, 1);
}

// Runs one step of calls into libjpeg; every call that can fail goes through here. A failure
// jumps back into this frame over the library's and the step's, so the step must hold nothing
// that needs destroying (a lambda over references and plain values), and this frame must stay
// its own: inlined into a caller that owns objects, the compiler may lose their clean-up.
template <typename Step>
[[gnu::noinline]] bool Guarded(ErrorManager& errors, Step step) {
  if (setjmp(errors.jump) != 0) return false;
  step();
  return true;
}

// CMYK as Adobe writes it (inverted), the convention libjpeg-turbo itself uses.
void CmykToRgb32(const unsigned char* cmyk, QRgb* line, int width) {
  for (int x = 0; x < width; ++x, cmyk += 4) {
    const int k = cmyk[3];
    line[x] = qRgb(cmyk[0] * k / 255, cmyk[1] * k / 255, cmyk[2] * k / 255);
  }
}

// libjpeg's decompressor state, released however the decode ends. Zeroed, so that destroying it
// is safe even when creating it failed.
struct DecompressStruct {
  DecompressStruct() = default;
  DecompressStruct(const DecompressStruct&) = delete;
  DecompressStruct& operator=(const DecompressStruct&) = delete;
  ~DecompressStruct() { jpeg_destroy_decompress(&info); }
  jpeg_decompress_struct info{};
};

// One libjpeg decompressor over data in memory, from its header to its pixels.
class Decompressor {
 public:
  // Reads the header and checks the picture against our limits.
  explicit Decompressor(const QByteArray& data);

  int width() const { return int(info_.image_width); }
  int height() const { return int(info_.image_height); }
  QImage decode(DecodeScale scale);

 private:
  RuntimeError failure(const char* attempt) const {
    return InvalidPicture(QLatin1String(attempt) + QStringLiteral(": ") +
                          QString::fromLocal8Bit(errors_.message));
  }
  void checkLimits();
  // What libjpeg allocates for the coefficients of a file it must read whole before showing it.
  qint64 coefficientBytes() const;
  bool cmyk() const {
    return info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
  }

  ErrorManager errors_;
  DecompressStruct owner_;
  jpeg_decompress_struct& info_ = owner_.info;
  bool multipleScans_ = false;
};

Decompressor::Decompressor(const QByteArray& data) {
  if (data.isEmpty()) throw InvalidPicture(QStringLiteral("the file is empty"));
  info_.err = jpeg_std_error(&errors_.library);
  errors_.library.error_exit = FailStep;
  errors_.library.emit_message = CountWarning;
  errors_.library.output_message = Discard;
  errors_.progress.progress_monitor = LimitScans;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
  const auto size = static_cast<unsigned long>(data.size());
  if (!Guarded(errors_, [&] {
        jpeg_create_decompress(&info_);
        info_.progress = &errors_.progress;
        jpeg_mem_src(&info_, bytes, size);
        jpeg_read_header(&info_, TRUE);
        multipleScans_ = jpeg_has_multiple_scans(&info_);
      })) {
    throw failure("reading the JPEG header");
  }
  checkLimits();
}

void Decompressor::checkLimits() {
  const qint64 w = info_.image_width, h = info_.image_height;
  if (w <= 0 || h <= 0 || w * h > kMaxPicturePixels) {
    throw InvalidPicture(QStringLiteral("%1 x %2 pixels is more than this program can hold "
                                        "(at most %3 pixels)")
                             .arg(w)
                             .arg(h)
                             .arg(kMaxPicturePixels));
  }
  if (coefficientBytes() > kMaxCoefficientBytes) {
    throw InvalidPicture(QStringLiteral("%1 x %2 pixels stored progressively need more memory "
                                        "than this program allows (%3 MiB)")
                             .arg(w)
                             .arg(h)
                             .arg(kMaxCoefficientBytes >> 20));
  }
}

qint64 Decompressor::coefficientBytes() const {
  if (!multipleScans_) return 0;
  qint64 bytes = 0;
  for (int c = 0; c < info_.num_components; ++c) {
    const jpeg_component_info& component = info_.comp_info[c];
    const auto padded = [](qint64 blocks, qint64 factor) {
      return (blocks + factor - 1) / factor * factor;
    };
    bytes += padded(component.width_in_blocks, component.h_samp_factor) *
             padded(component.height_in_blocks, component.v_samp_factor) * qint64(sizeof(JBLOCK));
  }
  return bytes;
}

QImage Decompressor::decode(DecodeScale scale) {
  info_.scale_num = unsigned(scale.num);
  info_.scale_denom = unsigned(scale.denom);
  const bool inverted = cmyk();
  // The library writes Qt's 32-bit pixels directly, alpha set to opaque.
  info_.out_color_space =
      inverted ? JCS_CMYK : (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB);
  if (!Guarded(errors_, [&] { jpeg_start_decompress(&info_); })) {
    throw failure("decompressing the picture");
  }

  QImage pixels(int(info_.output_width), int(info_.output_height), QImage::Format_RGB32);
  if (pixels.isNull()) throw std::bad_alloc();
  std::vector<unsigned char> cmykRow(inverted ? size_t(pixels.width()) * 4 : 0);
  unsigned char* const bits = pixels.bits();
  const qsizetype stride = pixels.bytesPerLine();
  const int width = pixels.width();
  bool stopped = false;
  if (!Guarded(errors_, [&] {
        while (info_.output_scanline < info_.output_height) {
          if (StopDecodingWhen::asked()) {
            stopped = true;
            return;
          }
          unsigned char* line = bits + stride * info_.output_scanline;
          JSAMPROW row = inverted ? cmykRow.data() : line;
          jpeg_read_scanlines(&info_, &row, 1);
          if (inverted) CmykToRgb32(row, reinterpret_cast<QRgb*>(line), width);
        }
      })) {
    throw failure("decompressing the picture");
  }
  if (stopped) throw InvalidPicture(QStringLiteral("the decode was stopped"));
  return pixels;
}

}  // namespace

DecodeScale DecodeScaleFor(int width, int height, QSizeF painted) {
  const DecodeScale full;
  if (painted.isEmpty() || painted.width() >= width || painted.height() >= height) return full;
  // libjpeg-turbo scales by n/8; the output is ceil(size * n / 8).
  const auto scaled = [](int size, int n) { return int((qint64(size) * n + 7) / 8); };
  int best = 8;
  for (int n = 7; n >= 1; --n) {
    const int w = scaled(width, n), h = scaled(height, n);
    if (w >= std::ceil(painted.width()) && h >= std::ceil(painted.height()) &&
        w < scaled(width, best)) {
      best = n;
    }
  }
  const int divisor = std::gcd(best, 8);
  return {best / divisor, 8 / divisor};
}

QImage DecodeJpegAtScale(const QByteArray& data, DecodeScale scale) {
  return Decompressor(data).decode(scale);
}

Picture DecodeJpeg(const QByteArray& data, const PaintSizeFor& paintSize) {
  Decompressor jpeg(data);
  const auto transformation = ExifTransformation(data);
  const QSize stored(jpeg.width(), jpeg.height());
  const QSize natural = SwapsSides(transformation) ? stored.transposed() : stored;
  QSizeF painted = paintSize ? paintSize(natural) : QSizeF();
  if (SwapsSides(transformation)) painted.transpose();
  const DecodeScale scale = DecodeScaleFor(stored.width(), stored.height(), painted);
  // A progressive file shown smaller than its size: most of its scans carry nothing the reduced
  // DCT reads, and its coefficients need not all be held.
  if (std::optional<QImage> pruned = DecodeProgressivePruned(data, scale)) {
    return Picture(ApplyTransformation(std::move(*pruned), transformation), natural);
  }
  // A file cut by restart markers into rows decodes on all cores, to the same pixels.
  std::optional<QImage> banded = DecodeInBands(data, scale);
  QImage pixels = banded ? std::move(*banded) : jpeg.decode(scale);
  return Picture(ApplyTransformation(std::move(pixels), transformation), natural);
}

StopDecodingWhen::StopDecodingWhen(const std::atomic<bool>& stop) : outer_(tStop) { tStop = &stop; }

StopDecodingWhen::~StopDecodingWhen() { tStop = outer_; }

bool StopDecodingWhen::asked() { return tStop && tStop->load(std::memory_order_relaxed); }

Picture JpegFileLoader::LoadPicture(const QString& path, const PaintSizeFor& paintSize) {
  if (path.isEmpty()) return Picture();
  return DecodeJpeg(ReadRegularFile(path, kMaxPictureFileBytes), paintSize);
}

}  // namespace brindlewick
