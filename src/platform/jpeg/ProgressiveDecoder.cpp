#include "platform/jpeg/ProgressiveDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <new>

#include <QByteArray>

#include <jpeglib.h>

#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/ProgressiveScans.h"
#include "platform/jpeg/ProgressiveTranscoder.h"

namespace brindlewick {
namespace {

// libjpeg reports errors by calling back; we jump out of the decode and let the whole-file path
// give the user its own answer. Warnings count as errors: a stream the decoder has doubts about
// is not one we can vouch for.
struct Decompressor {
  Decompressor() {
    info.err = jpeg_std_error(&error);
    error.error_exit = [](j_common_ptr common) {
      std::longjmp(reinterpret_cast<Decompressor*>(common->client_data)->jump, 1);
    };
    error.emit_message = [](j_common_ptr common, int level) {
      if (level < 0) std::longjmp(reinterpret_cast<Decompressor*>(common->client_data)->jump, 1);
    };
    info.client_data = this;
  }
  // Safe on the zeroed state too, when creating it failed.
  ~Decompressor() { jpeg_destroy_decompress(&info); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  std::jmp_buf jump;
};

// Only trivially destructible locals here: a longjmp may leave this function at any libjpeg call.
// Never inlined, so that the jump cannot land in a frame that holds the caller's objects.
[[gnu::noinline]] bool Decode(Decompressor& d, const QByteArray& stream, int eighths, QImage& out) {
  if (setjmp(d.jump) != 0) return false;
  jpeg_create_decompress(&d.info);  // keeps err and client_data
  jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(stream.constData()),
               static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&d.info, TRUE);
  d.info.scale_num = static_cast<unsigned int>(eighths);
  d.info.scale_denom = 8;
  d.info.out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;
  // The whole file has every coefficient complete and is never smoothed; the pruned stream lacks
  // coefficients nobody reads, and smoothing would guess them and change the pixels.
  d.info.do_block_smoothing = FALSE;
  jpeg_start_decompress(&d.info);
  out = QImage(int(d.info.output_width), int(d.info.output_height), QImage::Format_RGB32);
  if (out.isNull()) return false;
  while (d.info.output_scanline < d.info.output_height) {
    if (StopDecodingWhen::asked()) return false;
    JSAMPROW row = out.scanLine(int(d.info.output_scanline));
    jpeg_read_scanlines(&d.info, &row, 1);
  }
  jpeg_finish_decompress(&d.info);
  return true;
}

}  // namespace

std::optional<QImage> DecodeProgressivePruned(const QByteArray& jpeg, DecodeScale scale) {
  if (scale.num <= 0 || scale.denom <= 0 || scale.num >= scale.denom) return std::nullopt;
  // libjpeg's choice of IDCT size for the scale: the least n with num/denom <= n/8.
  int eighths = 1;
  while (scale.num * 8 > scale.denom * eighths) ++eighths;
  const std::optional<Progression> progression = ReadProgression(jpeg);
  if (!progression) return std::nullopt;
  // First choice: the needed scans turned into a sequential stream, which libjpeg decodes without
  // holding every coefficient of the picture. Second: the progressive stream without the scans
  // nobody needs (arithmetic coding, for one, only gets that far).
  using Make = std::optional<QByteArray> (*)(const QByteArray&, const Progression&, int);
  const Make sequential = [](const QByteArray& bytes, const Progression& p, int eighths) {
    return SequentialForScale(bytes, p, eighths);
  };
  for (const Make make : {sequential, Make(PruneProgressiveScans)}) {
    if (StopDecodingWhen::asked()) return std::nullopt;  // the whole-file decode stops at once
    std::optional<QByteArray> stream = make(jpeg, *progression, eighths);
    if (!stream) continue;
    Decompressor decompressor;
    QImage pixels;
    if (Decode(decompressor, *stream, eighths, pixels)) return pixels;
  }
  return std::nullopt;
}

}  // namespace brindlewick
