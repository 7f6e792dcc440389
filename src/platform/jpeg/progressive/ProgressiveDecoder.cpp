#include "platform/jpeg/progressive/ProgressiveDecoder.h"

#include <memory>
#include <vector>

#include <QByteArray>

#include "platform/jpeg/frame/FrameReader.h"
#include "platform/jpeg/frame/IdctReads.h"
#include "platform/jpeg/kits/PieceSource.h"
#include "platform/jpeg/progressive/ProgressiveTranscoder.h"
#include "platform/jpeg/progressive/ScanPruning.h"
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

std::optional<QImage> DecodePruned(QByteArrayView jpeg, const JpegFrame& frame,
                                   const std::vector<int>& idctSizes,
                                   const DecodeRequest& request) {
  if (request.scale.num >= request.scale.denom) return std::nullopt;  // every scan is needed
  const std::optional<QByteArray> pruned = PruneProgressiveScans(jpeg, frame, idctSizes);
  if (!pruned) return std::nullopt;
  return DecodeStream(*pruned, request.scale, request.stop);
}

}  // namespace

std::optional<QImage> DecodeProgressiveStream(JpegSession& header, QByteArrayView jpeg,
                                              const DecodeRequest& request) {
  const std::optional<std::vector<int>> idctSizes = IdctSizes(header, request.scale);
  const std::optional<JpegFrame> frame = ReadProgressiveFrame(jpeg, request.stop);
  if (!idctSizes || !frame) return std::nullopt;
  // First choice: the needed scans turned into a sequential stream, which libjpeg decodes without
  // holding every coefficient of the picture. Second: the progressive stream without the scans
  // nobody needs.
  if (const std::unique_ptr<SequentialStream> stream = SequentialStream::Open(
          jpeg, *frame, *idctSizes, kStripeStoreBytes, request.stop, request.threads)) {
    if (std::optional<QImage> pixels = DecodeSequential(*stream, request.scale, request.stop)) {
      return pixels;
    }
  }
  if (request.stop.stop_requested()) return std::nullopt;
  return DecodePruned(jpeg, *frame, *idctSizes, request);
}

std::optional<QImage> DecodeProgressivePruned(JpegSession& header, QByteArrayView jpeg,
                                              const DecodeRequest& request) {
  const std::optional<std::vector<int>> idctSizes = IdctSizes(header, request.scale);
  const std::optional<JpegFrame> frame = ReadProgressiveFrame(jpeg, request.stop);
  if (!idctSizes || !frame) return std::nullopt;
  return DecodePruned(jpeg, *frame, *idctSizes, request);
}

}  // namespace brindlewick
