#include "platform/jpeg/fast/SplitScan.h"

#include <algorithm>
#include <deque>

#include "platform/jpeg/fast/PartDecoder.h"
#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/fast/SequentialWriter.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

// Bits [from, to) of a part's output.
struct Piece {
  int part;
  uint64_t from, to;
};

// The end of the chain: the block that completes the scan, which must end in the last byte of the
// data, as libjpeg's decode does where it passes without a word.
const PartOutcome::End* LastBlock(const PartOutcome& outcome, qint64 blocks, qsizetype dataEnd) {
  for (const PartOutcome::End& end : outcome.tail) {
    if (end.blocks == blocks) return end.position > qint64(dataEnd) * 8 - 8 ? &end : nullptr;
  }
  return nullptr;
}

// The parts' outputs in the order of the true blocks: from the first part's start to where it met
// a later part, from there to where that one met the next, and so on to the last block. None where
// anything on the way is not clean or the blocks do not add up to the scan's.
std::optional<std::vector<Piece>> Chain(const std::vector<PartOutcome>& outcomes,
                                        const std::deque<Part>& parts, qint64 total,
                                        qsizetype dataEnd) {
  std::vector<Piece> pieces;
  qint64 blocks = 0, entry = 0;
  uint64_t raw = 0;
  for (int part = 0;;) {
    const PartOutcome& outcome = outcomes[size_t(part)];
    if (outcome.stopped || outcome.tooManyAnomalies) return std::nullopt;
    const PartOutcome::End* last =
        outcome.metPart < 0 ? LastBlock(outcome, entry + total - blocks, dataEnd) : nullptr;
    if (outcome.metPart < 0 && last == nullptr) return std::nullopt;
    const qint64 until = last ? last->blocks : outcome.metBlock;
    if (until < entry || blocks + until - entry > total) return std::nullopt;
    for (qint64 anomaly : outcome.anomalies) {
      if (anomaly >= entry && anomaly < until) return std::nullopt;
    }
    pieces.push_back({part, raw, last ? last->raw : outcome.metRaw});
    blocks += until - entry;
    if (last) return pieces;
    entry = outcome.metMark;
    raw = parts[size_t(outcome.metPart)].marks[size_t(entry)].raw;
    part = outcome.metPart;
  }
}

QByteArray Assemble(QByteArrayView jpeg, const Progression& scan,
                    const std::vector<PartOutcome>& outcomes, const std::vector<Piece>& pieces) {
  uint64_t bits = 0;
  for (const Piece& piece : pieces) bits += piece.to - piece.from;
  QByteArray out;
  out.reserve(qsizetype(bits / 8 + bits / 800) + (qsizetype(64) << 10));
  WriteSequentialHeaders(out, jpeg, scan);
  BitWriter writer;
  writer.into(out);
  for (const Piece& piece : pieces) {
    const RawBits& raw = outcomes[size_t(piece.part)].raw;
    for (uint64_t at = piece.from; at < piece.to;) {
      const int n = int(std::min<uint64_t>(31, piece.to - at));
      writer.put(raw.read(at, n), n);
      at += uint64_t(n);
    }
  }
  writer.flush();
  out.append(char(0xFF)).append(char(0xD9));
  return out;
}

}  // namespace

std::optional<SplitStream> SplitSequentialScan(QByteArrayView jpeg, const Progression& scan,
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
  const std::optional<std::vector<Piece>> pieces =
      Chain(outcomes, parts, shape->totalBlocks(), end);
  if (!pieces) return std::nullopt;
  return SplitStream{Assemble(jpeg, scan, outcomes, *pieces), count, int(pieces->size())};
}

}  // namespace brindlewick
