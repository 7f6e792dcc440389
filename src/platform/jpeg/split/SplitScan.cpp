#include "platform/jpeg/split/SplitScan.h"

#include <algorithm>
#include <deque>

#include "platform/jpeg/frame/IdctReads.h"
#include "platform/jpeg/frame/JpegFrame.h"
#include "platform/jpeg/kits/SequentialHeaders.h"
#include "platform/jpeg/split/PartChain.h"
#include "platform/jpeg/split/PartDecoder.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {

QByteArray SplitStream::joined() const {
  QByteArray jpeg = headers;
  qsizetype size = jpeg.size() + 2;
  for (const QByteArray& body : bodies) size += body.size();
  jpeg.reserve(size);
  for (const QByteArray& body : bodies) jpeg.append(body);
  return jpeg.append(char(0xFF)).append(char(0xD9));  // the end of the image
}

std::optional<SplitStream> SplitSequentialScan(QByteArrayView jpeg, const JpegFrame& scan,
                                               const std::vector<int>& idctSizes,
                                               const SplitOptions& options,
                                               const std::stop_token& stop) {
  if (scan.scans.size() != 1 || scan.arithmetic) return std::nullopt;
  const std::optional<McuShape> shape = McuShape::For(scan, CoefficientsRead(idctSizes));
  if (!shape) return std::nullopt;
  const qsizetype data = scan.scans.front().data, end = scan.scans.front().end;
  const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
  const int count = int(std::clamp<qsizetype>(
      (end - data) / std::max<qsizetype>(options.minPartBytes, 1), 1, std::max(options.parts, 1)));
  std::deque<Part> parts;
  for (int j = 0; j < count; ++j) {
    qsizetype cut = data + (end - data) * j / count;
    if (j > 0 && bytes[cut - 1] == 0xFF) ++cut;  // never on a stuffed zero
    parts.emplace_back(cut, j == 0 ? 0 : options.marks);
  }
  std::vector<PartOutcome> outcomes(static_cast<size_t>(count));
  // The last part first: on one thread, every part's marks are there before the part before it
  // comes looking for them.
  InParallel(count, options.threads, [&](int i) {
    const int j = count - 1 - i;
    outcomes[size_t(j)] = DecodePart(jpeg, end, *shape, parts, j, stop);
  });
  if (stop.stop_requested()) return std::nullopt;
  const std::optional<std::vector<ChainLink>> links =
      ChainParts(outcomes, parts, shape->totalBlocks(), end);
  if (!links || shape->mcusWide > 65535) return std::nullopt;
  // Intervals of whole MCU rows, as many as asked for, or more where a row is very wide.
  const qint64 intervals = std::max(options.intervals, 1);
  const qint64 rows =
      std::min((shape->mcusHigh + intervals - 1) / intervals, 65535 / shape->mcusWide);
  const qint64 intervalMcus = rows * shape->mcusWide;
  std::optional<std::vector<QByteArray>> bodies =
      WriteChain(*shape, outcomes, *links, intervalMcus, options.threads);
  if (!bodies) return std::nullopt;
  SplitStream stream{{}, std::move(*bodies), count, int(links->size())};
  WriteSequentialHeaders(stream.headers, jpeg, scan,
                         stream.bodies.size() > 1 ? int(intervalMcus) : 0);
  return stream;
}

}  // namespace brindlewick
