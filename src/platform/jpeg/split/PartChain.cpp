#include "platform/jpeg/split/PartChain.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <tuple>

#include <jpeglib.h>

#include "platform/jpeg/kits/BitWriter.h"
#include "platform/jpeg/kits/EncodingTable.h"
#include "platform/jpeg/kits/HuffmanBits.h"
#include "platform/threads/Parallel.h"

namespace brindlewick {
namespace {

const PartOutcome::End* LastBlock(const PartOutcome& outcome, qint64 blocks, qsizetype dataEnd) {
  for (const PartOutcome::End& end : outcome.tail) {
    if (end.blocks == blocks) return end.position > qint64(dataEnd) * 8 - 8 ? &end : nullptr;
  }
  return nullptr;
}

// One block as the parts wrote it: its DC difference and the coefficients kept.
struct RawBlock {
  int dc = 0;
  int count = 0;
  std::array<int, 63> k{}, value{};
};

// Reads back blocks written with EncodingTable's tables, and writes them again.
class BlockCodec {
 public:
  BlockCodec() : dcLookup_(Lookup(dc_)), acLookup_(Lookup(ac_)) {}

  // The block at bit `at` of `raw`; gives the bit after it.
  uint64_t read(const RawBits& raw, uint64_t at, RawBlock& block) const {
    const auto value = [&](int size) {
      const int bits = size == 0 ? 0 : Extend(int(raw.read(at, size)), size);
      at += uint64_t(size);
      return bits;
    };
    block.dc = value(symbol(raw, at, dcLookup_));
    block.count = 0;
    ForEachAc(
        [&](int& run) {
          const int rs = symbol(raw, at, acLookup_);
          run = rs >> 4;
          return value(rs & 15);
        },
        [&](int k, int coefficient) {
          block.k[size_t(block.count)] = k;
          block.value[size_t(block.count++)] = coefficient;
        });
    return at;
  }

  void write(BitWriter& out, int dc, const RawBlock& block) const {
    PutDc(out, dc_, dc);
    int last = 0;
    for (int i = 0; i < block.count; ++i) {
      PutAc(out, ac_, block.k[size_t(i)], last, block.value[size_t(i)]);
    }
    PutEndOfBlock(out, ac_, last);
  }

 private:
  // Every 16 bits that start with a code: length << 8 | symbol.
  static std::vector<uint16_t> Lookup(const EncodingTable& table) {
    std::vector<uint16_t> lookup(size_t(1) << 16);
    for (int symbol : table.symbols) {
      const int length = table.length[size_t(symbol)],
                first = table.code[size_t(symbol)] << (16 - length);
      std::fill_n(lookup.begin() + first, 1 << (16 - length), uint16_t(length << 8 | symbol));
    }
    return lookup;
  }
  static int symbol(const RawBits& raw, uint64_t& at, const std::vector<uint16_t>& lookup) {
    const uint16_t entry = lookup[raw.read(at, 16)];
    at += entry >> 8;
    return entry & 0xFF;
  }

  const EncodingTable dc_ = EncodingTable::Dc(), ac_ = EncodingTable::Ac();
  const std::vector<uint16_t> dcLookup_, acLookup_;
};

// The true DC predictors: a part's plus an offset, wider than an int, so that no sum of them
// overflows before writeFirstMcu refuses a value out of range.
using WideDc = std::array<qint64, std::tuple_size_v<DcPredictors>>;

WideDc Widened(const DcPredictors& dc, const DcPredictors& offset) {
  WideDc wide{};
  for (size_t c = 0; c < wide.size(); ++c) wide[c] = qint64(dc[c]) + offset[c];
  return wide;
}

// A place in the chain, at the start of a block, with the true DC predictors before it.
struct ChainCursor {
  size_t link = 0;
  qint64 block = 0;  // the part's own count
  uint64_t raw = 0;
  WideDc dc{};
};

class ChainWriter {
 public:
  ChainWriter(const McuShape& shape, const std::vector<PartOutcome>& outcomes,
              const std::vector<ChainLink>& links)
      : shape_(shape), outcomes_(outcomes), links_(links) {}

  // The place of the scan's block `global` (an MCU's first), found from the nearest checkpoint.
  ChainCursor seek(qint64 global) const;
  // Reads the block at the cursor and moves past it.
  void next(ChainCursor& at, RawBlock& block) const;
  // Writes the MCU at the cursor with whole DC values, moving past it; false for a value the
  // stream's coefficients cannot hold, which libjpeg would have cut short.
  bool writeFirstMcu(ChainCursor& at, BitWriter& out) const;
  // Copies the bits from `from` up to `to`, or only counts them.
  uint64_t copy(const ChainCursor& from, const ChainCursor& to, BitWriter* out) const;

 private:
  const McuShape& shape_;
  const std::vector<PartOutcome>& outcomes_;
  const std::vector<ChainLink>& links_;
  const BlockCodec codec_;
};

ChainCursor ChainWriter::seek(qint64 global) const {
  size_t p = 0;
  while (p + 1 < links_.size() && links_[p + 1].global <= global) ++p;
  const ChainLink& link = links_[p];
  const qint64 target = link.fromBlock + (global - link.global);
  ChainCursor at{p, link.fromBlock, link.fromRaw, Widened(link.fromDc, link.offset)};
  for (const BlockMark& checkpoint : outcomes_[size_t(link.part)].checkpoints) {
    if (checkpoint.position > target) break;
    if (checkpoint.position >= link.fromBlock)
      at = {p, checkpoint.position, checkpoint.raw, Widened(checkpoint.dc, link.offset)};
  }
  RawBlock block;
  while (at.block < target) next(at, block);
  return at;
}

void ChainWriter::next(ChainCursor& at, RawBlock& block) const {
  const ChainLink& link = links_[at.link];
  const int phase = int((link.global + (at.block - link.fromBlock)) % qint64(shape_.blocks.size()));
  at.raw = codec_.read(outcomes_[size_t(link.part)].raw, at.raw, block);
  at.dc[size_t(shape_.blocks[size_t(phase)].component)] += block.dc;
  if (++at.block == link.toBlock && at.link + 1 < links_.size()) {
    const ChainLink& after = links_[++at.link];
    at.block = after.fromBlock;
    at.raw = after.fromRaw;
  }
}

bool ChainWriter::writeFirstMcu(ChainCursor& at, BitWriter& out) const {
  DcPredictors predicted{};  // a restart starts the predictions from zero
  RawBlock block;
  for (const McuShape::Block& shape : shape_.blocks) {
    const size_t c = size_t(shape.component);
    const qint64 before = at.dc[c];
    next(at, block);
    if (at.dc[c] < -32767 || at.dc[c] > 32767) return false;
    codec_.write(out, int(at.dc[c] - (predicted[c] ? before : 0)), block);
    predicted[c] = 1;
  }
  return true;
}

uint64_t ChainWriter::copy(const ChainCursor& from, const ChainCursor& to, BitWriter* out) const {
  uint64_t bits = 0;
  for (size_t p = from.link; p <= to.link && p < links_.size(); ++p) {
    const RawBits& raw = outcomes_[size_t(links_[p].part)].raw;
    const uint64_t begin = p == from.link ? from.raw : links_[p].fromRaw;
    const uint64_t end = p == to.link ? to.raw : links_[p].toRaw;
    bits += end - begin;
    for (uint64_t at = begin; out != nullptr && at < end;) {
      const int n = int(std::min<uint64_t>(31, end - at));
      out->put(raw.read(at, n), n);
      at += uint64_t(n);
    }
  }
  return bits;
}

// How many intervals still to be written read each part's bits, so that the bits go as soon as
// the last of them is written.
class PartReaders {
 public:
  PartReaders(const std::vector<ChainLink>& links, size_t parts, qint64 perMcu, qint64 intervalMcus,
              qint64 mcus)
      : links_(links), perMcu_(perMcu), intervalMcus_(intervalMcus), mcus_(mcus), left_(parts) {
    for (int i = 0; qint64(i) * intervalMcus < mcus; ++i) {
      const auto [first, last] = linksOf(i);
      for (size_t p = first; p <= last; ++p) ++left_[size_t(links[p].part)];
    }
  }

  void written(int interval, std::vector<PartOutcome>& outcomes) {
    const auto [first, last] = linksOf(interval);
    for (size_t p = first; p <= last; ++p) {
      const size_t part = size_t(links_[p].part);
      if (--left_[part] == 0) outcomes[part].raw = RawBits();
    }
  }

 private:
  // The links an interval reads: from its first MCU's to the next interval's first MCU's.
  std::pair<size_t, size_t> linksOf(int interval) const {
    const auto at = [&](qint64 mcu) {
      size_t p = 0;
      while (p + 1 < links_.size() && links_[p + 1].global <= mcu * perMcu_) ++p;
      return p;
    };
    const qint64 next = qint64(interval + 1) * intervalMcus_;
    return {at(interval * intervalMcus_), next < mcus_ ? at(next) : links_.size() - 1};
  }

  const std::vector<ChainLink>& links_;
  const qint64 perMcu_, intervalMcus_, mcus_;
  std::vector<std::atomic<int>> left_;
};

}  // namespace

std::optional<std::vector<ChainLink>> ChainParts(const std::vector<PartOutcome>& outcomes,
                                                 const std::deque<Part>& parts, qint64 total,
                                                 qsizetype dataEnd) {
  std::vector<ChainLink> links;
  ChainLink link;
  for (;;) {
    const PartOutcome& outcome = outcomes[size_t(link.part)];
    if (outcome.stopped || outcome.tooManyAnomalies) return std::nullopt;
    const qint64 wanted = link.fromBlock + total - link.global;
    const PartOutcome::End* last =
        outcome.metPart < 0 ? LastBlock(outcome, wanted, dataEnd) : nullptr;
    if (outcome.metPart < 0 && last == nullptr) return std::nullopt;
    link.toBlock = last ? last->blocks : outcome.metBlock;
    link.toRaw = last ? last->raw : outcome.metRaw;
    if (link.toBlock < link.fromBlock || link.toBlock > wanted) return std::nullopt;
    for (qint64 anomaly : outcome.anomalies) {
      if (anomaly >= link.fromBlock && anomaly < link.toBlock) return std::nullopt;
    }
    // A part met at the very block where it met the next holds none of the chain's: a reader
    // stepping into it would read on past its meeting.
    if (link.toBlock > link.fromBlock || last) links.push_back(link);
    if (last) return links;
    const BlockMark& mark = parts[size_t(outcome.metPart)].marks[size_t(outcome.metMark)];
    ChainLink after;
    after.part = outcome.metPart;
    after.fromBlock = outcome.metMark;
    after.fromRaw = mark.raw;
    after.global = link.global + link.toBlock - link.fromBlock;
    after.fromDc = mark.dc;
    for (size_t c = 0; c < after.offset.size(); ++c) {
      const qint64 offset = qint64(outcome.metDc[c]) + link.offset[c] - mark.dc[c];
      if (offset < INT_MIN || offset > INT_MAX) return std::nullopt;  // no DC value is that far
      after.offset[c] = int(offset);
    }
    link = after;
  }
}

std::optional<std::vector<QByteArray>> WriteChain(const McuShape& shape,
                                                  std::vector<PartOutcome>& outcomes,
                                                  const std::vector<ChainLink>& links,
                                                  qint64 intervalMcus, int threads) {
  const ChainWriter chain(shape, outcomes, links);
  const qint64 perMcu = qint64(shape.blocks.size());
  const int intervals = int((shape.mcus + intervalMcus - 1) / intervalMcus);
  const ChainCursor end{links.size() - 1, links.back().toBlock, links.back().toRaw, {}};
  PartReaders readers(links, outcomes.size(), perMcu, intervalMcus, shape.mcus);
  // Each interval on its own, side by side: from its first MCU to the next interval's.
  std::vector<QByteArray> bodies(static_cast<size_t>(intervals));
  std::atomic<bool> clean = true;
  InParallel(intervals, threads, [&](int i) {
    const qint64 next = (i + 1) * intervalMcus;
    ChainCursor at = chain.seek(i * intervalMcus * perMcu);
    const ChainCursor until = next < shape.mcus ? chain.seek(next * perMcu) : end;
    QByteArray& body = bodies[size_t(i)];
    body.reserve(qsizetype(chain.copy(at, until, nullptr) / 8 * 101 / 100) + 1024);
    BitWriter writer;
    writer.into(body);
    if (!chain.writeFirstMcu(at, writer)) clean = false;
    chain.copy(at, until, &writer);
    writer.flush();
    if (next < shape.mcus) body.append(char(0xFF)).append(char(JPEG_RST0 + i % 8));
    readers.written(i, outcomes);
  });
  if (!clean) return std::nullopt;
  return bodies;
}

}  // namespace brindlewick
