#include "platform/jpeg/bands/RestartBands.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <numeric>
#include <optional>
#include <type_traits>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/jpeg/bands/RestartIntervals.h"
#include "platform/jpeg/kits/PieceSource.h"
#include "platform/jpeg/session/CodingFacts.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

// Where the bands' bytes lie: in the file, the intervals one after another with their markers
// between them, or held one by one as a stream was made, each (but the last) followed by its
// marker, and each let go once the last band that reads it is done with it.
class BandBytes {
 public:
  explicit BandBytes(QByteArrayView file) : headers_(file), file_(file) {}
  BandBytes(QByteArrayView headers, std::vector<QByteArray>& bodies)
      : headers_(headers), bodies_(&bodies), readers_(bodies.size()) {}

  QByteArrayView headers() const { return headers_; }
  // The entropy-coded data of intervals [first, end), the markers between them included.
  void addData(const RestartIntervals& layout, int first, int end,
               std::vector<std::pair<const JOCTET*, size_t>>& pieces) const {
    const auto bytes = [](const char* data) { return reinterpret_cast<const JOCTET*>(data); };
    if (bodies_ == nullptr) {
      const qsizetype from = layout.data[size_t(first)].first;
      const qsizetype to = layout.data[size_t(end - 1)].second;
      pieces.emplace_back(bytes(file_.data()) + from, size_t(to - from));
      return;
    }
    for (int i = first; i < end; ++i) {
      const QByteArray& body = (*bodies_)[size_t(i)];
      pieces.emplace_back(bytes(body.constData()),
                          size_t(i + 1 < end ? body.size() : layout.data[size_t(i)].second));
    }
  }
  void willRead(int first, int end) {
    for (int i = first; i < end && bodies_; ++i) ++readers_[size_t(i)];
  }
  void doneReading(int first, int end) {
    bool freed = false;
    for (int i = first; i < end && bodies_; ++i) {
      if (--readers_[size_t(i)] == 0) {
        (*bodies_)[size_t(i)] = QByteArray();
        freed = true;
      }
    }
#ifdef __GLIBC__
    // Intervals are small enough to come from the heap, whose freed pages glibc keeps: without a
    // trim the stream would stay resident while the picture fills.
    if (freed) malloc_trim(0);
#endif
  }

 private:
  QByteArrayView headers_, file_;
  std::vector<QByteArray>* bodies_ = nullptr;
  std::vector<std::atomic<int>> readers_;
};

// A band's JPEG, read in pieces so that the entropy-coded data is never copied: the headers around
// a frame height of the band's own, the band's intervals as they lie, and the end of the image.
// The restart markers keep the stream's numbers, which the band's decoder, counting from RST0, is
// told to expect.
struct BandSource {
  jpeg_source_mgr manager;  // first: libjpeg hands back a pointer to it
  std::vector<std::pair<const JOCTET*, size_t>> pieces;
  size_t next = 0;
  int markerOffset = 0;
};
static_assert(std::is_standard_layout_v<BandSource>, "libjpeg's pointer must lead back to it");

constexpr JOCTET kEnd[] = {0xFF, JPEG_EOI};

BandSource& SourceOf(j_decompress_ptr info) { return *reinterpret_cast<BandSource*>(info->src); }

boolean NextPiece(j_decompress_ptr info) {
  BandSource& source = SourceOf(info);
  while (source.next < source.pieces.size()) {
    const auto [bytes, size] = source.pieces[source.next++];
    if (size == 0) continue;
    source.manager.next_input_byte = bytes;
    source.manager.bytes_in_buffer = size;
    PieceHandedOver();
    return TRUE;
  }
  return EndOfPieces(info);  // a warning, which refuses the band
}

boolean TakeFileMarker(j_decompress_ptr info, int desired) {
  if (info->unread_marker == JPEG_RST0 + (desired + SourceOf(info).markerOffset) % 8) {
    info->unread_marker = 0;
    return TRUE;
  }
  return jpeg_resync_to_restart(info, desired);  // warns, which refuses the band
}

// The band of intervals [first, end) as a source of `BandSource`; `height` holds the band's frame
// height while it is read. A band of one interval holds no restart marker and says so (a restart
// interval of 0): libjpeg-turbo decodes a stream with restarts on its slower Huffman path.
void SetSource(BandSource& source, const BandBytes& bytes, const RestartIntervals& layout,
               int first, int end, std::array<JOCTET, 2>& height) {
  const auto* head = reinterpret_cast<const JOCTET*>(bytes.headers().data());
  UsePieces(source.manager, NextPiece);
  source.manager.resync_to_restart = TakeFileMarker;
  const int rows = layout.rowOf(end) - layout.rowOf(first);
  height = {JOCTET(rows >> 8), JOCTET(rows & 0xFF)};
  static constexpr JOCTET kNoRestarts[] = {0, 0};
  // The headers with their two fields replaced, in the order they come.
  std::array<std::pair<qsizetype, const JOCTET*>, 2> fields{
      {{layout.frameHeight, height.data()},
       {layout.restartField, end - first == 1 ? kNoRestarts : head + layout.restartField}}};
  std::sort(fields.begin(), fields.end());
  qsizetype at = 0;
  for (const auto& [offset, value] : fields) {
    source.pieces.emplace_back(head + at, size_t(offset - at));
    source.pieces.emplace_back(value, 2);
    at = offset + 2;
  }
  source.pieces.emplace_back(head + at, size_t(layout.headerEnd - at));
  bytes.addData(layout, first, end, source.pieces);
  source.pieces.emplace_back(kEnd, sizeof kEnd);
  source.markerOffset = first % 8;
}

// One band: the stream of intervals [first, end) holds `skip` output rows above the band's own
// rows and may hold some below; its own `keep` rows go to `target` onwards.
struct Band {
  int first = 0, end = 0;
  int skip = 0, keep = 0;
  unsigned char* target = nullptr;
};

bool DecodeRestartBand(const BandBytes& bytes, const RestartIntervals& layout,
                       const DecodeRequest& request, const Band& band, int width, qsizetype pitch,
                       unsigned char* scratch) {
  if (request.stop.stop_requested()) return false;  // a band not begun before a stop never is
  BandSource source{};
  std::array<JOCTET, 2> height{};
  SetSource(source, bytes, layout, band.first, band.end, height);
  JpegSession session(request.stop, JpegSession::OnWarning::Fail);
  if (!session.readHeader(source.manager) || !session.start(request.scale)) return false;
  const jpeg_decompress_struct& info = session.info();
  if (int(info.output_width) != width || int(info.output_height) < band.skip + band.keep) {
    return false;
  }
  return session.run([&] {
    while (info.output_scanline < info.output_height) {
      const int row = int(info.output_scanline) - band.skip;
      session.readRow(row >= 0 && row < band.keep ? band.target + row * pitch : scratch);
    }
    jpeg_finish_decompress(&session.info());
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

// The bands of the picture `into`, each with the rows it keeps. Without neighbouring rows to read,
// every interval is a band of its own, without markers and so decoded on the quicker path; the
// threads take them in turn, which keeps them equally busy. Otherwise shares of whole intervals,
// each band reaching one interval beyond its own rows.
std::vector<Band> PlanBands(const RestartIntervals& layout, bool neighbours, int bands, int eighths,
                            QImage& into) {
  std::vector<int> starts(size_t(layout.intervals()) + 1);
  if (neighbours) {
    starts = ShareByBytes(layout, bands);
  } else {
    std::iota(starts.begin(), starts.end(), 0);
  }
  const int count = int(starts.size()) - 1;
  const int context = neighbours ? 1 : 0;
  std::vector<Band> plan(size_t(std::max(count, 0)));
  for (int k = 0; k < count; ++k) {
    Band& band = plan[size_t(k)];
    const int own = starts[size_t(k)];
    const int ownEnd = starts[size_t(k) + 1];
    band.first = std::max(0, own - context);
    band.end = std::min(layout.intervals(), ownEnd + context);
    const int top = layout.rowOf(own) * eighths / 8;
    const int bottom = k + 1 == count ? into.height() : layout.rowOf(ownEnd) * eighths / 8;
    band.skip = top - layout.rowOf(band.first) * eighths / 8;
    band.keep = bottom - top;
    band.target = into.bits() + top * into.bytesPerLine();
  }
  return plan;
}

std::optional<QImage> DecodeLaidOut(JpegSession& header, const RestartIntervals& layout,
                                    BandBytes& bytes, const DecodeRequest& request, int bands) {
  if (bands == 0) bands = 2 * request.threads;
  const DecodeScale scale = request.scale;
  if (bands < 2) return std::nullopt;
  // Output rows per image row: eighths, as libjpeg scales by whole eighths of a block.
  const int eighths = 8 * scale.num / scale.denom;
  if (layout.mcuHeight * eighths % 8 != 0) return std::nullopt;
  const bool neighbours = NeedsNeighbourRows(header, scale);
  QImage into(int((qint64(layout.width) * eighths + 7) / 8),
              int((qint64(layout.height) * eighths + 7) / 8), QImage::Format_RGB32);
  if (into.isNull()) return std::nullopt;  // the whole-file decode reports the lack of memory

  const std::vector<Band> plan = PlanBands(layout, neighbours, bands, eighths, into);
  if (plan.size() < 2) return std::nullopt;
  for (const Band& band : plan) bytes.willRead(band.first, band.end);
  const qsizetype pitch = into.bytesPerLine();
  const int count = int(plan.size());
  std::vector<char> decoded(static_cast<size_t>(count), 0);
  InParallel(count, request.threads, [&](int k) {
    const Band& band = plan[size_t(k)];
    std::vector<unsigned char> scratch(static_cast<size_t>(pitch));
    decoded[size_t(k)] =
        DecodeRestartBand(bytes, layout, request, band, into.width(), pitch, scratch.data());
    bytes.doneReading(band.first, band.end);
  });
  if (!std::all_of(decoded.begin(), decoded.end(), [](char ok) { return ok != 0; })) {
    return std::nullopt;
  }
  return into;
}

}  // namespace

std::optional<QImage> DecodeRestartBands(JpegSession& header, QByteArrayView jpeg,
                                         const DecodeRequest& request, int bands) {
  const std::optional<RestartIntervals> layout = ReadRestartIntervals(header, jpeg);
  if (!layout) return std::nullopt;
  BandBytes bytes(jpeg);
  return DecodeLaidOut(header, *layout, bytes, request, bands);
}

std::optional<QImage> DecodeIntervalsInBands(JpegSession& header, QByteArrayView headers,
                                             std::vector<QByteArray>& bodies,
                                             const DecodeRequest& request) {
  std::optional<RestartIntervals> layout = ReadRestartLayout(header, headers);
  if (!layout || layout->headerEnd != headers.size()) return std::nullopt;
  for (size_t i = 0; i < bodies.size(); ++i) {
    const QByteArray& body = bodies[i];
    const bool last = i + 1 == bodies.size();
    if (!last && (body.size() < 2 || uchar(body[body.size() - 2]) != 0xFF ||
                  uchar(body.back()) != JPEG_RST0 + i % 8)) {
      return std::nullopt;
    }
    layout->data.emplace_back(0, body.size() - (last ? 0 : 2));
  }
  if (layout->intervals() != layout->expected()) return std::nullopt;
  BandBytes bytes(headers, bodies);
  std::optional<QImage> banded = DecodeLaidOut(header, *layout, bytes, request, 0);
  // Once a band has begun, the bytes it read may be gone: nothing is left for another decode.
  if (banded || std::any_of(bodies.begin(), bodies.end(),
                            [](const QByteArray& body) { return body.isEmpty(); })) {
    bodies.clear();
  }
  return banded;
}

}  // namespace brindlewick
