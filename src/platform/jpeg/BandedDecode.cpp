#include "platform/jpeg/BandedDecode.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <algorithm>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QThread>

#include <jpeglib.h>

#include "platform/jpeg/RestartIntervals.h"
#include "platform/surface/Parallel.h"

namespace brindlewick {
namespace {

// libjpeg reports failures through longjmp; warnings count as failures here, since a band that
// decodes with a warning may not match what the whole file gives.
struct Failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void Abandon(j_common_ptr info) {
  std::longjmp(reinterpret_cast<Failure*>(info->err)->jump, 1);
}

void Message(j_common_ptr info, int level) {
  if (level < 0) Abandon(info);
}

// Qt's 32-bit pixels, alpha opaque, as the whole-file decode writes them.
constexpr J_COLOR_SPACE kRgb32 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;

// Runs `body` on a decompressor reading `data`, with its header read and the scale and output
// colours set as the whole-file decode sets them. Nothing in `body` may own resources: a failure
// leaves it by longjmp. The frame stays its own, so that no caller's objects share it.
template <typename Body>
[[gnu::noinline]] bool Decompress(const QByteArray& data, DecodeScale scale, Body&& body) {
  jpeg_decompress_struct info{};
  Failure failure;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = Abandon;
  failure.manager.emit_message = Message;
  if (setjmp(failure.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  info.scale_num = unsigned(scale.num);
  info.scale_denom = unsigned(scale.denom);
  info.out_color_space = kRgb32;
  const bool done = body(info);
  jpeg_destroy_decompress(&info);
  return done;
}

// Whether a row of output depends on the rows of its neighbouring MCU rows: only when a
// component is upsampled vertically (the smoothing "fancy" filter looks one row up and down).
std::optional<bool> NeedsNeighbourRows(const QByteArray& jpeg, DecodeScale scale) {
  bool needs = false;
  if (!Decompress(jpeg, scale, [&](jpeg_decompress_struct& info) {
        jpeg_calc_output_dimensions(&info);
        for (int c = 0; c < info.num_components; ++c) {
          const jpeg_component_info& component = info.comp_info[c];
          needs |= component.v_samp_factor * component.DCT_scaled_size !=
                   info.max_v_samp_factor * info.min_DCT_scaled_size;
        }
        return true;
      })) {
    return std::nullopt;
  }
  return needs;
}

// One band: the stream of intervals [first, end) holds `skip` output rows above the band's own
// rows and may hold some below; its own `keep` rows go to `target` onwards.
struct Band {
  int first = 0, end = 0;
  int skip = 0, keep = 0;
  unsigned char* target = nullptr;
};

bool DecodeBand(const QByteArray& stream, DecodeScale scale, const Band& band, int width,
                qsizetype pitch, unsigned char* scratch) {
  return Decompress(stream, scale, [&](jpeg_decompress_struct& info) {
    jpeg_start_decompress(&info);
    if (int(info.output_width) != width || int(info.output_height) < band.skip + band.keep) {
      return false;
    }
    while (info.output_scanline < info.output_height) {
      const int row = int(info.output_scanline) - band.skip;
      JSAMPROW line = row >= 0 && row < band.keep ? band.target + row * pitch : scratch;
      jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
  });
}

bool OnGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return !app || app->thread() == QThread::currentThread();
}

}  // namespace

std::optional<QImage> DecodeInBands(const QByteArray& jpeg, DecodeScale scale, int bands) {
  if (bands == 0) {
    if (!OnGuiThread()) return std::nullopt;
    bands = CoreCount();
  }
  if (bands < 2 || scale.num <= 0 || scale.num > scale.denom || (8 * scale.num) % scale.denom) {
    return std::nullopt;
  }
  const std::optional<RestartIntervals> layout = ReadRestartIntervals(jpeg);
  if (!layout) return std::nullopt;
  // Output rows per image row: eighths, as libjpeg scales by whole eighths of a block.
  const int eighths = 8 * scale.num / scale.denom;
  if (layout->mcuHeight * eighths % 8 != 0) return std::nullopt;
  const std::optional<bool> neighbours = NeedsNeighbourRows(jpeg, scale);
  if (!neighbours) return std::nullopt;
  QImage into(int((qint64(layout->width) * eighths + 7) / 8),
              int((qint64(layout->height) * eighths + 7) / 8), QImage::Format_RGB32);
  if (into.isNull()) return std::nullopt;  // the whole-file decode reports the lack of memory

  // Equal shares of whole intervals, each band's stream reaching one interval beyond its own rows
  // where the filter needs the neighbouring rows.
  const int count = std::min(bands, layout->intervals());
  if (count < 2) return std::nullopt;
  const int context = *neighbours ? 1 : 0;
  const qsizetype pitch = into.bytesPerLine();
  unsigned char* const pixels = into.bits();
  std::vector<Band> plan(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    Band& band = plan[size_t(k)];
    const int own = k * layout->intervals() / count;
    const int ownEnd = (k + 1) * layout->intervals() / count;
    band.first = std::max(0, own - context);
    band.end = std::min(layout->intervals(), ownEnd + context);
    const int top = layout->rowOf(own) * eighths / 8;
    const int bottom = k + 1 == count ? into.height() : layout->rowOf(ownEnd) * eighths / 8;
    band.skip = top - layout->rowOf(band.first) * eighths / 8;
    band.keep = bottom - top;
    band.target = pixels + top * pitch;
  }

  std::vector<char> decoded(static_cast<size_t>(count), 0);
  InParallel(count, [&](int k) {
    const Band& band = plan[size_t(k)];
    std::vector<unsigned char> scratch(static_cast<size_t>(pitch));
    const QByteArray stream = BandStream(jpeg, *layout, band.first, band.end);
    decoded[size_t(k)] = DecodeBand(stream, scale, band, into.width(), pitch, scratch.data());
  });
  if (!std::all_of(decoded.begin(), decoded.end(), [](char ok) { return ok != 0; })) {
    return std::nullopt;
  }
  return into;
}

}  // namespace brindlewick
