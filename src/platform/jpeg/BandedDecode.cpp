#include "platform/jpeg/BandedDecode.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QThread>

#include <jerror.h>
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

// A band's JPEG, read in pieces so that the entropy-coded data is never copied: the file's headers
// around a frame height of the band's own, the band's intervals as they lie in the file, and the
// end of the image. The restart markers keep the file's numbers, which the band's decoder,
// counting from RST0, is told to expect.
struct Pieces {
  jpeg_source_mgr manager;  // first: libjpeg hands back a pointer to it
  std::array<std::pair<const JOCTET*, size_t>, 7> pieces{};
  size_t next = 0;
  int markerOffset = 0;
};

constexpr JOCTET kEnd[] = {0xFF, JPEG_EOI};

Pieces& PiecesOf(j_decompress_ptr info) { return *reinterpret_cast<Pieces*>(info->src); }

boolean NextPiece(j_decompress_ptr info) {
  Pieces& source = PiecesOf(info);
  while (source.next < source.pieces.size()) {
    const auto [bytes, size] = source.pieces[source.next++];
    if (size == 0) continue;
    source.manager.next_input_byte = bytes;
    source.manager.bytes_in_buffer = size;
    return TRUE;
  }
  // Past the end, as jpeg_mem_src does it: a warning, which refuses the band, and an end of image.
  WARNMS(info, JWRN_JPEG_EOF);
  source.manager.next_input_byte = kEnd;
  source.manager.bytes_in_buffer = sizeof kEnd;
  return TRUE;
}

void SkipBytes(j_decompress_ptr info, long count) {
  jpeg_source_mgr& source = *info->src;
  while (count > long(source.bytes_in_buffer)) {
    count -= long(source.bytes_in_buffer);
    NextPiece(info);
  }
  if (count > 0) {
    source.next_input_byte += count;
    source.bytes_in_buffer -= size_t(count);
  }
}

boolean TakeFileMarker(j_decompress_ptr info, int desired) {
  if (info->unread_marker == JPEG_RST0 + (desired + PiecesOf(info).markerOffset) % 8) {
    info->unread_marker = 0;
    return TRUE;
  }
  return jpeg_resync_to_restart(info, desired);  // warns, which refuses the band
}

void Nothing(j_decompress_ptr) {}

// The whole file, or the band of intervals [first, end) of it, as a source of `Pieces`; `height`
// holds the band's frame height while it is read. A band of one interval holds no restart marker
// and says so (a restart interval of 0): libjpeg-turbo decodes a stream with restarts on its
// slower Huffman path.
void SetPieces(Pieces& source, const QByteArray& jpeg, const RestartIntervals* layout, int first,
               int end, std::array<JOCTET, 2>& height) {
  const auto* bytes = reinterpret_cast<const JOCTET*>(jpeg.constData());
  source.manager.init_source = Nothing;
  source.manager.fill_input_buffer = NextPiece;
  source.manager.skip_input_data = SkipBytes;
  source.manager.resync_to_restart = TakeFileMarker;
  source.manager.term_source = Nothing;
  if (!layout) {
    source.pieces[0] = {bytes, size_t(jpeg.size())};
    return;
  }
  const int rows = layout->rowOf(end) - layout->rowOf(first);
  height = {JOCTET(rows >> 8), JOCTET(rows & 0xFF)};
  static constexpr JOCTET kNoRestarts[] = {0, 0};
  // The headers with their two fields replaced, in the order they come.
  std::array<std::pair<qsizetype, const JOCTET*>, 2> fields{
      {{layout->frameHeight, height.data()},
       {layout->restartField, end - first == 1 ? kNoRestarts : bytes + layout->restartField}}};
  std::sort(fields.begin(), fields.end());
  qsizetype at = 0;
  size_t piece = 0;
  for (const auto& [offset, value] : fields) {
    source.pieces[piece++] = {bytes + at, size_t(offset - at)};
    source.pieces[piece++] = {value, 2};
    at = offset + 2;
  }
  source.pieces[piece++] = {bytes + at, size_t(layout->headerEnd - at)};
  const qsizetype from = layout->data[size_t(first)].first;
  const qsizetype to = layout->data[size_t(end - 1)].second;
  source.pieces[piece++] = {bytes + from, size_t(to - from)};
  source.pieces[piece] = {kEnd, sizeof kEnd};
  source.markerOffset = first % 8;
}

// Runs `body` on a decompressor reading the whole file (no layout) or one band of it, with its
// header read and the scale and output colours set as the whole-file decode sets them. Nothing in
// `body` may own resources: a failure leaves it by longjmp. The frame stays its own, so that no
// caller's objects share it.
template <typename Body>
[[gnu::noinline]] bool Decompress(const QByteArray& jpeg, const RestartIntervals* layout, int first,
                                  int end, DecodeScale scale, Body&& body) {
  jpeg_decompress_struct info{};
  Failure failure;
  Pieces source{};
  std::array<JOCTET, 2> height{};
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = Abandon;
  failure.manager.emit_message = Message;
  if (setjmp(failure.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  SetPieces(source, jpeg, layout, first, end, height);
  info.src = &source.manager;
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
  if (!Decompress(jpeg, nullptr, 0, 0, scale, [&](jpeg_decompress_struct& info) {
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

bool DecodeBand(const QByteArray& jpeg, const RestartIntervals& layout, DecodeScale scale,
                const Band& band, int width, qsizetype pitch, unsigned char* scratch) {
  return Decompress(jpeg, &layout, band.first, band.end, scale, [&](jpeg_decompress_struct& info) {
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

// The first interval of each of at most `bands` bands, and the end: equal shares of the
// entropy-coded bytes rather than of the rows, as decoding time follows the bytes (a sky codes in
// far fewer than the ground below it).
std::vector<int> ShareByBytes(const RestartIntervals& layout, int bands) {
  qint64 total = 0;
  for (const auto& [begin, end] : layout.data) total += end - begin;
  std::vector<int> starts{0};
  qint64 above = 0;
  for (int i = 0; i + 1 < layout.intervals(); ++i) {
    above += layout.data[size_t(i)].second - layout.data[size_t(i)].first;
    if (above * bands >= total * qint64(starts.size())) starts.push_back(i + 1);
  }
  starts.push_back(layout.intervals());
  return starts;
}

bool OnGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return !app || app->thread() == QThread::currentThread();
}

}  // namespace

std::optional<QImage> DecodeInBands(const QByteArray& jpeg, DecodeScale scale, int bands) {
  if (bands == 0) {
    if (!OnGuiThread() || CoreCount() < 2) return std::nullopt;
    bands = 2 * CoreCount();
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

  // Without neighbouring rows to read, every interval is a band of its own, without markers and
  // so decoded on the quicker path; the threads take them in turn, which keeps them equally busy.
  // Otherwise shares of whole intervals, each band reaching one interval beyond its own rows.
  std::vector<int> starts(size_t(layout->intervals()) + 1);
  if (*neighbours) {
    starts = ShareByBytes(*layout, bands);
  } else {
    std::iota(starts.begin(), starts.end(), 0);
  }
  const int count = int(starts.size()) - 1;
  if (count < 2) return std::nullopt;
  const int context = *neighbours ? 1 : 0;
  const qsizetype pitch = into.bytesPerLine();
  unsigned char* const pixels = into.bits();
  std::vector<Band> plan(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    Band& band = plan[size_t(k)];
    const int own = starts[size_t(k)];
    const int ownEnd = starts[size_t(k) + 1];
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
    decoded[size_t(k)] =
        DecodeBand(jpeg, *layout, scale, band, into.width(), pitch, scratch.data());
  });
  if (!std::all_of(decoded.begin(), decoded.end(), [](char ok) { return ok != 0; })) {
    return std::nullopt;
  }
  return into;
}

}  // namespace brindlewick
