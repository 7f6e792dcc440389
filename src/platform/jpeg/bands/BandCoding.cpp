#include "platform/jpeg/bands/BandCoding.h"

#include <algorithm>
#include <array>
#include <utility>

namespace brindlewick {
namespace {

// A symbol and its extra bits into `out`, if there is one, with a file's own table; false where the
// table has no code for it.
bool Put(const EncodingTable& table, BitWriter* out, int symbol, int extra, int size) {
  const int length = table.length[size_t(symbol)];
  if (length == 0) return false;
  if (out) out->put(uint32_t(table.code[size_t(symbol)]) << size | uint32_t(extra), length + size);
  return true;
}

}  // namespace

std::optional<BandCoding> BandCoding::For(QByteArrayView jpeg, const JpegFrame& scan) {
  const FrameScan& only = scan.scans.front();
  std::optional<McuShape> shape =
      McuShape::For(scan, std::vector<uint64_t>(scan.components.size(), 0));
  if (!shape) return std::nullopt;
  BandCoding coding;
  coding.bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
  coding.data = only.data;
  coding.end = only.end;
  coding.shape = std::move(*shape);
  int vMax = 1;
  for (const FrameComponent& c : scan.components) vMax = std::max(vMax, c.v);
  coding.height = scan.height;
  coding.mcuHeight = only.components.size() == 1 ? 8 : 8 * vMax;
  for (const McuShape::Block& block : coding.shape.blocks) {
    const auto i =
        size_t(std::find(only.components.begin(), only.components.end(), block.component) -
               only.components.begin());
    std::optional<EncodingTable> dc = EncodingTable::From(scan.tables[size_t(only.dcTable[i])]);
    std::optional<EncodingTable> ac = EncodingTable::From(scan.tables[size_t(only.acTable[i])]);
    if (!dc || !ac) return std::nullopt;
    coding.dc.push_back(std::move(*dc));
    coding.ac.push_back(std::move(*ac));
  }
  return coding;
}

bool WriteFirstMcu(BitReader& in, DcPredictors dc, const BandCoding& coding, BitWriter* out) {
  std::array<bool, 4> first{true, true, true, true};
  for (size_t b = 0; b < coding.shape.blocks.size(); ++b) {
    const McuShape::Block& block = coding.shape.blocks[b];
    const int size = in.decode(*block.dc);
    const int diff = Extend(in.bits(size), size);
    const auto c = size_t(block.component);
    if (__builtin_add_overflow(dc[c], diff, &dc[c])) return false;
    const int value = std::exchange(first[c], false) ? dc[c] : diff;
    const int whole = SizeOf(value);
    if (whole > 15 || !Put(coding.dc[b], out, whole, int(Extra(value, whole)), whole)) return false;
    bool coded = true;
    const bool inBlock = ForEachAc(
        [&](int& run) {
          const int symbol = in.decode(*block.ac), bits = symbol & 15;
          const int extra = in.bits(bits);
          coded = coded && Put(coding.ac[b], out, symbol, extra, bits);
          run = symbol >> 4;
          return bits == 0 ? 0 : Extend(extra, bits);
        },
        [](int, int) {});
    if (!inBlock || !coded) return false;
  }
  return !in.takeBadCode() && !in.readPastData();
}

}  // namespace brindlewick
