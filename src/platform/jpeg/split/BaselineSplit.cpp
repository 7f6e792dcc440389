#include "platform/jpeg/split/BaselineSplit.h"

#include "platform/jpeg/bands/RestartBands.h"
#include "platform/jpeg/frame/FrameReader.h"
#include "platform/jpeg/frame/IdctReads.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/jpeg/split/SplitScan.h"

namespace brindlewick {

std::optional<QImage> DecodeBaselineSplit(JpegSession& header, QByteArrayView jpeg,
                                          const DecodeRequest& request) {
  const std::optional<JpegFrame> scan = ReadSequentialFrame(jpeg, request.stop);
  const std::optional<std::vector<int>> idctSizes = IdctSizes(header, request.scale);
  if (!scan || !idctSizes) return std::nullopt;
  // Restart markers cut the stream into intervals that libjpeg decodes on every core too, eight
  // per core: a thread that starts late does not hold up the rest, and each interval is let go
  // once decoded, so that the stream and the picture are never held whole at once (with two per
  // core, a 48 MP photo's first view took 1.2 MiB more at its peak than libjpeg's own decode).
  SplitOptions options;
  options.parts = options.threads = request.threads;
  options.intervals = 8 * options.threads;
  std::optional<SplitStream> stream =
      SplitSequentialScan(jpeg, *scan, *idctSizes, options, request.stop);
  if (!stream) return std::nullopt;
  JpegSession session(request.stop, JpegSession::OnWarning::Fail);
  if (!session.readHeader(stream->headers)) return std::nullopt;
  if (std::optional<QImage> banded =
          DecodeIntervalsInBands(session, stream->headers, stream->bodies, request)) {
    return banded;
  }
  // Bands that began have let their bytes go; the caller then decodes the file.
  if (request.stop.stop_requested() || stream->bodies.empty()) return std::nullopt;
  const QByteArray joined = stream->joined();
  stream->bodies.clear();
  JpegSession whole(request.stop, JpegSession::OnWarning::Fail);
  if (!whole.readHeader(joined)) return std::nullopt;
  return whole.decode(request.scale, false);
}

}  // namespace brindlewick
