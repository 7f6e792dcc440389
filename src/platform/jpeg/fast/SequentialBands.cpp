#include "platform/jpeg/fast/SequentialBands.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <type_traits>
#include <vector>

#include <jpeglib.h>

#include "platform/jpeg/fast/PartDecoder.h"
#include "platform/jpeg/fast/PieceSource.h"
#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/fast/SequentialWriter.h"
#include "platform/jpeg/session/JpegSegments.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

// The share of libjpeg's time at 2/8 to 4/8 that goes with the codes rather than the rows of
// pixels: the IDCTs and the colours work on an eighth to a quarter of the pixels, while every
// code is read. Fitted to the times of two bands of the 24 and 48 MP photos: 0.8 to 0.9.
constexpr double kCodesShare = 0.8;
constexpr qsizetype kChunkBytes = qsizetype(64) << 10;

// A symbol and its extra bits into `out`, if there is one, with a file's own table; false where the
// table has no code for it.
bool Put(const EncodingTable& table, BitWriter* out, int symbol, int extra, int size) {
  const int length = table.length[size_t(symbol)];
  if (length == 0) return false;
  if (out) out->put(uint32_t(table.code[size_t(symbol)]) << size | uint32_t(extra), length + size);
  return true;
}

// What the walker and the bands' streams share: the data, its MCUs with nothing kept after DC,
// and the file's codes for each block of an MCU.
struct Coding {
  const unsigned char* bytes = nullptr;
  qsizetype data = 0, end = 0;
  McuShape shape;
  std::vector<EncodingTable> dc, ac;  // the file's own, per block of the MCU
  int height = 0;                     // image rows
  int mcuHeight = 0;                  // image rows per MCU row
};

std::optional<Coding> CodingFor(QByteArrayView jpeg, const Progression& scan) {
  const ProgressiveScan& only = scan.scans.front();
  std::optional<McuShape> shape =
      McuShape::For(scan, std::vector<uint64_t>(scan.components.size(), 0));
  if (!shape) return std::nullopt;
  Coding coding;
  coding.bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
  coding.data = only.data;
  coding.end = only.end;
  coding.shape = std::move(*shape);
  int vMax = 1;
  for (const ProgressiveComponent& c : scan.components) vMax = std::max(vMax, c.v);
  coding.height = scan.height;
  coding.mcuHeight = only.components.size() == 1 ? 8 : 8 * vMax;
  for (const McuShape::Block& block : coding.shape.blocks) {
    const auto i =
        size_t(std::find(only.components.begin(), only.components.end(), block.component) -
               only.components.begin());
    std::optional<EncodingTable> dc = EncodingTable::From(scan.tables[size_t(only.dcTable[i])]);
    std::optional<EncodingTable> ac = EncodingTable::From(scan.tables[size_t(only.acTable[i])]);
    if (!dc || !ac) return std::nullopt;
    coding.dc.push_back(std::move(*dc));
    coding.ac.push_back(std::move(*ac));
  }
  return coding;
}

// Reads one MCU from `in` and writes it into `out` (if given) with the file's codes, the DC of
// each component's first block whole rather than a difference, as a stream that starts here needs
// it; every other code comes out as it went in, read as libjpeg reads it. False where the file's
// table has no code for a whole DC value, or `in` does not hold a clean MCU.
bool WriteFirstMcu(BitReader& in, DcPredictors dc, const Coding& coding, BitWriter* out) {
  std::array<bool, 4> first{true, true, true, true};
  for (size_t b = 0; b < coding.shape.blocks.size(); ++b) {
    const McuShape::Block& block = coding.shape.blocks[b];
    const int size = in.decode(*block.dc);
    const int diff = Extend(in.bits(size), size);
    const auto c = size_t(block.component);
    if (__builtin_add_overflow(dc[c], diff, &dc[c])) return false;
    const int value = std::exchange(first[c], false) ? dc[c] : diff;
    const int whole = SizeOf(value);
    if (whole > 15 || !Put(coding.dc[b], out, whole, int(Extra(value, whole)), whole)) return false;
    for (int k = 1; k < 64; ++k) {
      const int symbol = in.decode(*block.ac);
      const int run = symbol >> 4, bits = symbol & 15;
      if (!Put(coding.ac[b], out, symbol, in.bits(bits), bits)) return false;
      if (bits != 0) {
        k += run;
      } else if (run == 15) {
        k += 15;
      } else {
        break;
      }
    }
  }
  return !in.takeBadCode() && !in.readPastData();
}

// Where a band starts: its first MCU row, the bit there and the DC predictions before it.
struct BandStart {
  qint64 row = 0;
  qint64 position = 0;
  DcPredictors dc{};
};

// The bands' starts as the walker finds them, and how far it has walked, for the bands' decoders
// to wait on.
class Starts {
 public:
  Starts(int bands, qsizetype data) : starts_(size_t(bands)), decodedTo_(size_t(bands)) {
    starts_[0].position = data * 8;
  }

  int bands() const { return int(starts_.size()); }
  int found() const { return found_.load(std::memory_order_acquire); }
  const BandStart& operator[](int band) const { return starts_[size_t(band)]; }

  // The picture's MCU row up to which a band's decoder has got, for the walker to weigh what it
  // has left; told by the decoders, to whom the rest is read-only.
  void decodedTo(int band, qint64 row) const {
    decodedTo_[size_t(band)].store(row, std::memory_order_relaxed);
  }
  qint64 decodedTo(int band) const {
    return decodedTo_[size_t(band)].load(std::memory_order_relaxed);
  }

  void publish(const BandStart& start) {
    const int band = found_.load(std::memory_order_relaxed);
    starts_[size_t(band)] = start;
    decodedTo(band, start.row);
    found_.store(band + 1, std::memory_order_release);
    walkedTo(start.row);
  }
  void walkedTo(qint64 row) {
    walked_.store(row, std::memory_order_release);
    tell();
  }
  void fail() {
    found_.store(-1, std::memory_order_release);
    tell();
  }

  // Whether band `band`'s start is found, once it is; false once the walk failed.
  bool started(int band) const {
    return waitUntil([&]() -> std::optional<bool> {
      const int found = this->found();
      if (found < 0 || found > band) return found > band;
      return std::nullopt;
    });
  }

  // How far band `band`'s rows are known to be its own: the next band's first MCU row, which is
  // its end, or once the walk has passed `seen`, the MCU row it has got to; -1 once the walk
  // failed.
  struct Known {
    qint64 row;
    bool end;
  };
  Known known(int band, qint64 seen, qint64 total) const {
    return waitUntil([&]() -> std::optional<Known> {
      const int found = this->found();
      if (found < 0) return Known{-1, true};
      if (band + 1 == bands()) return Known{total, true};
      if (found > band + 1) return Known{starts_[size_t(band) + 1].row, true};
      const qint64 walked = walked_.load(std::memory_order_acquire);
      if (walked > seen) return Known{walked, false};
      return std::nullopt;
    });
  }

 private:
  // Every change counts news, which a decoder reads before it looks, and waits on if what it looks
  // for is not there: a change between the two ends the wait at once.
  void tell() {
    news_.fetch_add(1, std::memory_order_release);
    news_.notify_all();
  }
  template <typename Ready>
  auto waitUntil(Ready ready) const -> typename std::invoke_result_t<Ready>::value_type {
    for (;;) {
      const int news = news_.load(std::memory_order_acquire);
      if (auto answer = ready()) return *answer;
      news_.wait(news, std::memory_order_acquire);
    }
  }

  std::vector<BandStart> starts_;
  mutable std::vector<std::atomic<qint64>> decodedTo_;  // never resized: atomics stay in place
  std::atomic<int> found_{1};
  std::atomic<qint64> walked_{0};
  std::atomic<int> news_{0};
};

// How much of libjpeg's work lies above MCU row `row`, whose data starts in byte `at`: most of its
// time goes with the codes, which a sky has far fewer of than the ground below it, the rest with
// the rows of pixels.
double Done(const Coding& coding, qsizetype at, qint64 row) {
  return kCodesShare * double(at - coding.data) / double(coding.end - coding.data) +
         (1 - kCodesShare) * double(row) / double(coding.shape.mcusHigh);
}

// Walks the data from its start and publishes each later band's start, at the first MCU row on
// whose first MCU WriteFirstMcu succeeds, once BandCutDue says the band before should end there.
// Returns once the last band's start is published; false for data that is not clean, ends first,
// or once the stop is asked.
bool FindStarts(const Coding& coding, Starts& starts, const std::stop_token& stop) {
  BitReader in(coding.bytes, coding.data, coding.end);
  DcPredictors dc{};
  const qint64 rows = coding.shape.mcusHigh;
  std::vector<qsizetype> rowBytes;  // where each MCU row walked starts
  rowBytes.reserve(size_t(rows));
  std::vector<double> cuts(size_t(starts.bands()), 0);  // the work above each band's start
  for (qint64 row = 0; row < rows; ++row) {
    rowBytes.push_back(in.loadedTo());
    const int next = starts.found();
    const double here = Done(coding, in.loadedTo(), row);
    const qint64 at = std::min(starts.decodedTo(next - 1), row);
    const double reached = Done(coding, rowBytes[size_t(at)], at), from = cuts[size_t(next) - 1];
    const int toStart = starts.bands() - next;
    if (BandCutDue(here, here - reached, reached - from, here - from, toStart) ||
        rows - row <= toStart) {
      BitReader trial = in;
      if (WriteFirstMcu(trial, dc, coding, nullptr)) {
        starts.publish({row, in.position(), dc});
        cuts[size_t(next)] = here;
        if (next + 1 == starts.bands()) return true;
      }
    }
    if (stop.stop_requested() || !SkipMcus(in, dc, coding.shape, coding.shape.mcusWide)) {
      return false;
    }
    if (row % 4 == 3) starts.walkedTo(row + 1);
  }
  return false;
}

// The stream of a later band, made a piece at a time as libjpeg reads it: the file's headers with
// the band's height, its first MCU written again, the file's bits from there on, and at the end of
// the data zeros to a whole byte (what a decoder reading on past the data is fed anyway: where a
// block runs past the data, libjpeg reads the same bits from this stream as from the file) and the
// end of the image.
class BandStream {
 public:
  BandStream(const Coding& coding, QByteArray headers, const BandStart& start)
      : coding_(coding),
        headers_(std::move(headers)),
        start_(start),
        in_(coding.bytes, qsizetype(start.position / 8), coding.end) {
    in_.bits(int(start.position % 8));
  }

  bool next(QByteArray& piece) {
    if (over_) return false;
    if (!headers_.isEmpty()) {
      piece = std::exchange(headers_, {});
      return true;
    }
    piece.resize(0);
    out_.into(piece);
    if (!started_ && !WriteFirstMcu(in_, start_.dc, coding_, &out_)) return false;
    started_ = true;
    return copy(piece);
  }

 private:
  // False at a marker in the data, where libjpeg stops with a warning: the band is refused.
  bool copy(QByteArray& piece) {
    if (raw_ < 0) {  // after the first MCU: the reader to a whole byte, then the bytes themselves
      const int toByte = int((8 - in_.position() % 8) % 8);
      out_.put(uint32_t(in_.bits(toByte)), toByte);
      // Past the byte that held the MCU's last bit, and past its stuffed zero where it was 0xFF.
      raw_ = std::min(qsizetype(in_.position() / 8), coding_.end);
    }
    const qsizetype tail = coding_.end - 64;
    if (raw_ < tail) {
      qsizetype to = std::min(raw_ + kChunkBytes, tail);
      if (coding_.bytes[to - 1] == 0xFF) ++to;  // never between a stuffed 0xFF and its zero
      if (out_.copyBytes(coding_.bytes, raw_, to) != to) return false;
      out_.commit();
      raw_ = to;
      return true;
    }
    // The last bytes bit by bit, up to the data's last.
    BitReader in(coding_.bytes, raw_, coding_.end);
    for (;;) {
      const int bit = in.bits(1);
      if (in.readPastData()) break;
      out_.put(uint32_t(bit), 1);
    }
    out_.flush(false);
    piece.append("\xFF\xD9", 2);
    over_ = true;
    return true;
  }

  const Coding& coding_;
  QByteArray headers_;
  const BandStart start_;
  BitReader in_;
  BitWriter out_;
  qsizetype raw_ = -1;  // the next byte of the file to copy, once the first MCU is written
  bool started_ = false, over_ = false;
};

// Where the frame's height lies in the headers before the scan's data; 0 if it is not found.
qsizetype FrameHeightField(QByteArrayView jpeg, qsizetype data) {
  JpegSegments segments(jpeg.first(data));
  while (const std::optional<JpegSegment> segment = segments.next()) {
    if ((segment->marker == M_SOF0 || segment->marker == M_SOF1) && segment->length() >= 6) {
      return segment->body + 1;
    }
    if (segment->marker == M_SOS) break;
  }
  return 0;
}

// What a band's decoder needs: the picture its rows go into, and the output rows of an MCU row.
struct Target {
  unsigned char* bits;  // taken once, before the threads: QImage::bits() is not for sharing
  qsizetype pitch;
  int width, height;
  int rowsPerMcuRow;
  DecodeScale scale;
};

// Reads band `band`'s rows from `session`, whose stream starts at the band's first MCU row, into
// the picture, as far as the walker has found them to be the band's own; the last band to the end
// of the picture, and its end of image checked.
bool ReadBand(JpegSession& session, const Starts& starts, int band, const Coding& coding,
              const Target& target) {
  if (!session.start(target.scale)) return false;
  const jpeg_decompress_struct& info = session.info();
  const qint64 first = starts[band].row;
  const int top = int(first) * target.rowsPerMcuRow;
  if (int(info.output_width) != target.width || int(info.output_height) != target.height - top) {
    return false;
  }
  unsigned char* const bits = target.bits + qsizetype(top) * target.pitch;
  const qsizetype pitch = target.pitch;
  int done = 0;
  for (qint64 seen = first;;) {
    const Starts::Known known = starts.known(band, seen, coding.shape.mcusHigh);
    if (known.row < 0) return false;
    seen = known.row;
    const int rows = std::min(int(info.output_height), int(seen - first) * target.rowsPerMcuRow);
    if (!session.run([&] {
          for (; done < rows; ++done) {
            session.readRow(bits + done * pitch);
            if ((done + 1) % target.rowsPerMcuRow == 0) {
              starts.decodedTo(band, first + (done + 1) / target.rowsPerMcuRow);
            }
          }
        })) {
      return false;
    }
    if (known.end) break;
  }
  // A band above the last reads on into the next one's data, which is left unread.
  if (band + 1 < starts.bands()) return true;
  return session.run([&] { jpeg_finish_decompress(&session.info()); });
}

// Decodes band `band`: the first from the file itself, a later one from its own stream.
bool DecodeBand(QByteArrayView jpeg, const Coding& coding, const Starts& starts, int band,
                qsizetype heightField, const Target& target, const std::stop_token& stop) {
  JpegSession session(stop, JpegSession::OnWarning::Fail);
  if (band == 0) return session.readHeader(jpeg) && ReadBand(session, starts, 0, coding, target);
  if (!starts.started(band)) return false;
  const BandStart& start = starts[band];
  QByteArray headers(jpeg.data(), coding.data);
  const qint64 height = coding.height - start.row * coding.mcuHeight;
  headers[heightField] = char(height >> 8);
  headers[heightField + 1] = char(height & 0xFF);
  BandStream stream(coding, std::move(headers), start);
  PieceSource source([&stream](QByteArray& piece) { return stream.next(piece); });
  return session.readHeader(source.manager()) && ReadBand(session, starts, band, coding, target);
}

// Ends the walk for the bands' decoders waiting on it, however it ends.
struct WalkOver {
  Starts& starts;
  ~WalkOver() {
    if (starts.found() != starts.bands()) starts.fail();
  }
};

}  // namespace

bool BandCutDue(double here, double left, double decoded, double walked, int toStart) {
  const double w = walked > 0 ? std::clamp(decoded / walked, 0.0, 1.0) : 0;
  const double first =
      w < 1e-3 ? (1 - here) / toStart : (1 - here) * w / (1 - std::pow(1 - w, toStart));
  return left >= first;
}

std::optional<QImage> DecodeSequentialBands(JpegSession&, QByteArrayView jpeg,
                                            const DecodeRequest& request) {
  const std::optional<Progression> scan = ReadSequentialScan(jpeg, request.stop);
  if (!scan) return std::nullopt;
  return DecodeSequentialBands(jpeg, *scan, request, request.threads);
}

std::optional<QImage> DecodeSequentialBands(QByteArrayView jpeg, const Progression& scan,
                                            const DecodeRequest& request, int bands) {
  const std::optional<Coding> coding = CodingFor(jpeg, scan);
  const qsizetype heightField = FrameHeightField(jpeg, scan.scans.front().data);
  if (bands < 2 || !coding || heightField == 0 || coding->shape.mcusHigh < 2 * qint64(bands)) {
    return std::nullopt;
  }
  const int eighths = 8 * request.scale.num / request.scale.denom;
  QImage into(int((qint64(scan.width) * eighths + 7) / 8),
              int((qint64(scan.height) * eighths + 7) / 8), QImage::Format_RGB32);
  if (into.isNull()) return std::nullopt;  // the whole-file decode reports the lack of memory
  const Target target{into.bits(),
                      into.bytesPerLine(),
                      into.width(),
                      into.height(),
                      coding->mcuHeight * eighths / 8,
                      request.scale};
  Starts starts(bands, coding->data);
  std::vector<char> decoded(size_t(bands), 0);
  // The walker is the first part taken, on whichever thread: the others wait for it.
  InParallel(bands, request.threads, [&](int part) {
    if (part == 0) {
      const WalkOver over{starts};
      if (!FindStarts(*coding, starts, request.stop)) return;
    }
    const int band = part == 0 ? bands - 1 : part - 1;
    decoded[size_t(band)] =
        DecodeBand(jpeg, *coding, starts, band, heightField, target, request.stop);
  });
  if (!std::all_of(decoded.begin(), decoded.end(), [](char ok) { return ok != 0; })) {
    return std::nullopt;
  }
  return into;
}

}  // namespace brindlewick
