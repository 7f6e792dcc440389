#include "platform/jpeg/fast/BaselineDecoder.h"

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <jpeglib.h>

#include "platform/jpeg/fast/BandedDecode.h"
#include "platform/jpeg/fast/ProgressiveDecoder.h"
#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/fast/PruningCheck.h"
#include "platform/jpeg/fast/SequentialBands.h"
#include "platform/jpeg/fast/SplitScan.h"
#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

// At 1/8 the pruned stream is small enough that decoding the file's codes once more, in it, costs
// less than the parts save: the luma keeps its DC alone. From 2/8 the IDCTs read most of a block,
// and the bands are decoded from the file's own codes instead, up to 4/8: above it a band would
// need its neighbours' rows, the chroma being upsampled.
bool Pruned(DecodeScale scale) { return scale.num > 0 && scale.num * 8 <= scale.denom; }
bool Banded(DecodeScale scale) { return scale.num > 0 && scale.num * 2 <= scale.denom; }

int SplitCores(const jpeg_decompress_struct& info, const DecodeRequest& request) {
  if (info.progressive_mode || info.arith_code || info.restart_interval != 0 ||
      !Banded(request.scale) || request.threads < 2) {
    return 0;
  }
  return request.threads;
}

std::optional<QImage> DecodePruned(JpegSession& header, QByteArrayView jpeg,
                                   const Progression& scan, const DecodeRequest& request) {
  const std::optional<std::vector<int>> idctSizes = IdctSizes(header, request.scale);
  if (!idctSizes) return std::nullopt;
  // Restart markers cut the stream into intervals that libjpeg decodes on every core too, eight
  // per core: a thread that starts late does not hold up the rest, and each interval is let go
  // once decoded, so that the stream and the picture are never held whole at once (with two per
  // core, a 48 MP photo's first view took 1.2 MiB more at its peak than libjpeg's own decode).
  SplitOptions options;
  options.parts = options.threads = BaselineDecodeCores(header.info(), request);
  options.intervals = 8 * options.threads;
  std::optional<SplitStream> stream =
      SplitSequentialScan(jpeg, scan, *idctSizes, options, request.stop);
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

}  // namespace

int BaselineDecodeCores(const jpeg_decompress_struct& header, const DecodeRequest& request) {
  return !Pruned(request.scale) || PruningHolds() ? SplitCores(header, request) : 0;
}

std::optional<QImage> DecodeBaselineSplit(JpegSession& header, QByteArrayView jpeg,
                                          const DecodeRequest& request) {
  if (BaselineDecodeCores(header.info(), request) == 0) return std::nullopt;
  const std::optional<Progression> scan = ReadSequentialScan(jpeg, request.stop);
  if (!scan) return std::nullopt;
  // A small file's data cut in two would only be decoded twice.
  const ProgressiveScan& only = scan->scans.front();
  if (only.end - only.data < 2 * SplitOptions().minPartBytes) return std::nullopt;
  if (Pruned(request.scale)) return DecodePruned(header, jpeg, *scan, request);
  return DecodeSequentialBands(header, jpeg, *scan, request);
}

}  // namespace brindlewick
