#include "platform/jpeg/bands/SequentialBands.h"

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <vector>

#include <jpeglib.h>

#include "platform/jpeg/bands/BandStream.h"
#include "platform/jpeg/bands/BandWalk.h"
#include "platform/jpeg/frame/FrameReader.h"
#include "platform/jpeg/kits/PieceSource.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

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
bool ReadBand(JpegSession& session, const BandStarts& starts, int band, const BandCoding& coding,
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
    const BandStarts::Known known = starts.known(band, seen, coding.shape.mcusHigh);
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
bool DecodeWalkedBand(QByteArrayView jpeg, const BandCoding& coding, const BandStarts& starts,
                      int band, qsizetype heightField, const Target& target,
                      const std::stop_token& stop) {
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

}  // namespace

std::optional<QImage> DecodeSequentialBands(JpegSession&, QByteArrayView jpeg,
                                            const DecodeRequest& request) {
  const std::optional<JpegFrame> scan = ReadSequentialFrame(jpeg, request.stop);
  if (!scan) return std::nullopt;
  return DecodeSequentialBands(jpeg, *scan, request, request.threads);
}

std::optional<QImage> DecodeSequentialBands(QByteArrayView jpeg, const JpegFrame& scan,
                                            const DecodeRequest& request, int bands) {
  const std::optional<BandCoding> coding = BandCoding::For(jpeg, scan);
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
  BandStarts starts(bands, coding->data);
  std::vector<char> decoded(size_t(bands), 0);
  // The walker is the first part taken, on whichever thread: the others wait for it.
  InParallel(bands, request.threads, [&](int part) {
    if (part == 0) {
      const WalkOver over{starts};
      if (!FindStarts(*coding, starts, request.stop)) return;
    }
    const int band = part == 0 ? bands - 1 : part - 1;
    decoded[size_t(band)] =
        DecodeWalkedBand(jpeg, *coding, starts, band, heightField, target, request.stop);
  });
  if (!std::all_of(decoded.begin(), decoded.end(), [](char ok) { return ok != 0; })) {
    return std::nullopt;
  }
  return into;
}

}  // namespace brindlewick
