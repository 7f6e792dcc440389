#include "platform/jpeg/fast/BaselineDecoder.h"

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <jpeglib.h>

#include "platform/jpeg/fast/ProgressiveDecoder.h"
#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/fast/PruningCheck.h"
#include "platform/jpeg/fast/SplitScan.h"
#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

int SplitCores(const jpeg_decompress_struct& info, const DecodeRequest& request) {
  // Above 4/8 the pruned stream keeps nearly every bit, and libjpeg decodes it on one core.
  const bool small = request.scale.num > 0 && request.scale.num * 2 <= request.scale.denom;
  if (info.progressive_mode || info.arith_code || info.restart_interval != 0 || !small ||
      request.threads < 2) {
    return 0;
  }
  return request.threads;
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
  SplitOptions options;
  options.parts = options.threads = request.threads;
  const std::optional<SplitStream> stream =
      SplitSequentialScan(jpeg, *scan, *idctSizes, options, request.stop);
  if (!stream) return std::nullopt;
  JpegSession session(request.stop, JpegSession::OnWarning::Fail);
  if (!session.readHeader(stream->jpeg)) return std::nullopt;
  return session.decode(request.scale, false);
}

}  // namespace brindlewick
