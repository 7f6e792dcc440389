#include "platform/jpeg/fast/ProgressiveDecoder.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <QByteArray>

#include "platform/jpeg/fast/PieceSource.h"
#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/fast/ProgressiveTranscoder.h"
#include "platform/jpeg/fast/PruningCheck.h"
#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

std::optional<QImage> DecodeSequential(SequentialStream& stream, DecodeScale scale,
                                       const std::stop_token& stop) {
  PieceSource source([&stream](QByteArray& piece) { return stream.next(piece); });
  JpegSession session(stop, JpegSession::OnWarning::Fail);
  if (!session.readHeader(source.manager())) return std::nullopt;
  return session.decode(scale, false);
}

std::optional<QImage> DecodeStream(QByteArrayView stream, DecodeScale scale,
                                   const std::stop_token& stop) {
  JpegSession session(stop, JpegSession::OnWarning::Fail);
  if (!session.readHeader(stream)) return std::nullopt;
  // The whole file has every coefficient complete and is never smoothed; the pruned stream lacks
  // coefficients nobody reads, and smoothing would guess them and change the pixels.
  return session.decode(scale, false);
}

// The cores the decode below keeps busy: the calling thread, and the stream's three threads
// beside it where there are cores for them.
int StreamCores(const jpeg_decompress_struct& info, const DecodeRequest& request) {
  // At full size every scan is needed, and only the stream made on two threads is quicker than
  // libjpeg's own decode.
  const bool full = request.scale.num >= request.scale.denom;
  if (!info.progressive_mode || request.scale.num <= 0 || (full && request.threads < 2)) return 0;
  return std::clamp(request.threads, 1, 4);
}

}  // namespace

int ProgressiveDecodeCores(const jpeg_decompress_struct& header, const DecodeRequest& request) {
  return PruningHolds() ? StreamCores(header, request) : 0;
}

std::optional<std::vector<int>> IdctSizes(JpegSession& header, DecodeScale scale) {
  if (!header.calcOutputDimensions(scale)) return std::nullopt;
  std::vector<int> sizes;
  sizes.reserve(size_t(header.info().num_components));
  for (int c = 0; c < header.info().num_components; ++c) {
    sizes.push_back(header.info().comp_info[c].DCT_scaled_size);
  }
  return sizes;
}

std::optional<QImage> DecodeProgressivePruned(JpegSession& header, QByteArrayView jpeg,
                                              const DecodeRequest& request) {
  if (StreamCores(header.info(), request) == 0) return std::nullopt;
  const bool full = request.scale.num >= request.scale.denom;
  const std::optional<std::vector<int>> idctSizes = IdctSizes(header, request.scale);
  const std::optional<Progression> progression = ReadProgression(jpeg, request.stop);
  if (!idctSizes || !progression) return std::nullopt;
  // First choice: the needed scans turned into a sequential stream, which libjpeg decodes without
  // holding every coefficient of the picture. Second: the progressive stream without the scans
  // nobody needs (arithmetic coding, for one, only gets that far).
  if (const std::unique_ptr<SequentialStream> stream = SequentialStream::Open(
          jpeg, *progression, *idctSizes, kStripeStoreBytes, request.stop, request.threads)) {
    if (std::optional<QImage> pixels = DecodeSequential(*stream, request.scale, request.stop)) {
      return pixels;
    }
  }
  if (request.stop.stop_requested() || full) return std::nullopt;
  if (const std::optional<QByteArray> pruned =
          PruneProgressiveScans(jpeg, *progression, *idctSizes)) {
    return DecodeStream(*pruned, request.scale, request.stop);
  }
  return std::nullopt;
}

bool PruningCheckedAgainstThisLibrary() {
  return LIBJPEG_TURBO_VERSION_NUMBER >= 2001000 && LIBJPEG_TURBO_VERSION_NUMBER < 2002000;
}

bool PrunedDecodeMatchesWholeFile(QByteArrayView progressive) {
  for (int eighths = 1; eighths < 8; ++eighths) {
    const DecodeRequest request{{eighths, 8}, 1, {}};
    JpegSession header;
    if (!header.readHeader(progressive)) return false;
    const std::optional<QImage> pruned = DecodeProgressivePruned(header, progressive, request);
    if (!pruned && eighths == 1) return false;
    JpegSession whole;
    if (!whole.readHeader(progressive)) return false;
    if (pruned && *pruned != whole.decode(request.scale).value_or(QImage())) return false;
  }
  return true;
}

}  // namespace brindlewick
