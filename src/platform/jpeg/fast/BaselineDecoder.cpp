#include "platform/jpeg/fast/BaselineDecoder.h"

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <jpeglib.h>

#include "platform/jpeg/fast/BandedDecode.h"
#include "platform/jpeg/fast/ProgressiveDecoder.h"
#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/fast/PruningCheck.h"
#include "platform/jpeg/fast/SplitScan.h"
#include "platform/jpeg/session/JpegSession.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

int SplitCores(const jpeg_decompress_struct& info, const DecodeRequest& request) {
  // Only at 1/8 is the pruned stream small enough that decoding the file's codes once more, in
  // it, costs less than the parts save: at 2/8 the IDCTs read 25 of a block's 64 coefficients,
  // and libjpeg's own decode on one core is the quicker.
  const bool small = request.scale.num > 0 && request.scale.num * 8 <= request.scale.denom;
  if (info.progressive_mode || info.arith_code || info.restart_interval != 0 || !small ||
      std::min(request.threads, CoreCount()) < 2) {
    return 0;
  }
  return std::min(request.threads, CoreCount());
}

}  // namespace

int BaselineDecodeCores(const jpeg_decompress_struct& header, const DecodeRequest& request) {
  return PruningHolds() ? SplitCores(header, request) : 0;
}

std::optional<QImage> DecodeBaselineSplit(JpegSession& header, QByteArrayView jpeg,
                                          const DecodeRequest& request) {
  if (BaselineDecodeCores(header.info(), request) == 0) return std::nullopt;
  const std::optional<std::vector<int>> idctSizes = IdctSizes(header, request.scale);
  const std::optional<Progression> scan = ReadSequentialScan(jpeg, request.stop);
  if (!idctSizes || !scan) return std::nullopt;
  // Restart markers cut the stream into intervals that libjpeg decodes on every core too, two
  // per core, so that a thread that starts late does not hold up the rest.
  SplitOptions options;
  options.parts = options.threads = BaselineDecodeCores(header.info(), request);
  options.intervals = 2 * options.threads;
  // A small file's data in one part would only be decoded twice.
  if (scan->scans.front().end - scan->scans.front().data < 2 * options.minPartBytes) {
    return std::nullopt;
  }
  const std::optional<SplitStream> stream =
      SplitSequentialScan(jpeg, *scan, *idctSizes, options, request.stop);
  if (!stream) return std::nullopt;
  JpegSession session(request.stop, JpegSession::OnWarning::Fail);
  if (!session.readHeader(stream->jpeg)) return std::nullopt;
  if (std::optional<QImage> banded = DecodeInBands(session, stream->jpeg, request)) return banded;
  if (request.stop.stop_requested()) return std::nullopt;
  JpegSession whole(request.stop, JpegSession::OnWarning::Fail);
  if (!whole.readHeader(stream->jpeg)) return std::nullopt;
  return whole.decode(request.scale, false);
}

}  // namespace brindlewick
