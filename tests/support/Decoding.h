#pragma once

// The codec taken in one call, as the tests, the benchmarks and the fuzzers want it. Header-only
// and free of GoogleTest, so the benchmarks and the fuzzers, built without the tests, use it too.
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSizeF>
#include <QString>

#include "platform/errors/RuntimeError.h"
#include "platform/files/FileBytes.h"
#include "platform/jpeg/JpegDecoder.h"
#include "platform/jpeg/progressive/ProgressiveTranscoder.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/loading/PictureLoader.h"
#include "platform/loading/PictureRequest.h"

namespace brindlewick::test {

// The codec's three steps at once, as the program's loaders take them: the header, the plan for
// the size the request paints, the decode.
inline Picture DecodeJpeg(const QByteArray& data, const PictureRequest& request = {}) {
  const JpegHeader header = ReadJpegHeader(data);
  const QSizeF painted = request.paintSize ? request.paintSize(header.natural) : QSizeF();
  return brindlewick::DecodeJpeg(data, header, PlanDecode(header, painted, request.threads),
                                 request.stop);
}

// libjpeg's own decode of the whole file on one thread at the scale, as stored (no EXIF
// orientation, no colour profile): ceil(width * scale) x ceil(height * scale), what every quicker
// way must give. A failure is a RuntimeError with the library's text.
inline QImage DecodeJpegAtScale(const QByteArray& data, DecodeScale scale) {
  JpegSession jpeg;
  std::optional<QImage> whole;
  if (jpeg.readHeader(data)) whole = jpeg.decode(scale);
  if (!whole) {
    throw RuntimeError(ErrorNumber::InvalidPicture, QString::fromLocal8Bit(jpeg.message()));
  }
  return std::move(*whole);
}

// A progressive file's sequential stream whole, held in stripes of at most `storeBytes` and made
// on `threads`; none wherever the stream would not open or not end.
inline std::optional<QByteArray> SequentialForScale(QByteArrayView jpeg, const JpegFrame& frame,
                                                    const std::vector<int>& idctSizes,
                                                    qint64 storeBytes = kStripeStoreBytes,
                                                    int threads = 1) {
  const std::unique_ptr<SequentialStream> stream =
      SequentialStream::Open(jpeg, frame, idctSizes, storeBytes, {}, threads);
  if (!stream) return std::nullopt;
  QByteArray whole, piece;
  while (stream->next(piece)) whole += piece;
  if (!whole.endsWith(QByteArray("\xFF\xD9", 2))) return std::nullopt;
  return whole;
}

// A loader without the program's table of decode jobs: reads the whole file and decodes it as the
// request asks, every time.
class JpegFileLoader : public PictureLoader {
 public:
  LoadedPicture LoadPicture(const QString& path, const PictureRequest& request) override {
    if (path.isEmpty()) return {};
    FileContents file = ReadFileContents(path, kMaxPictureFileBytes);
    return {DecodeJpeg(file.bytes, request), file.keepWhile};
  }
};

}  // namespace brindlewick::test
