#include "platform/jpeg/progressive/CoefficientStripes.h"

#include <algorithm>

#include "platform/jpeg/frame/JpegFrame.h"

namespace brindlewick {
namespace {

// libjpeg refuses sequential scans with more blocks per MCU than this.
constexpr int kMaxBlocksPerMcu = 10;

// Whether any needed AC refinement of component c must know which coefficients are nonzero.
bool RefinesAc(const JpegFrame& p, const std::vector<bool>& needed, int c) {
  for (size_t s = 0; s < p.scans.size(); ++s) {
    const FrameScan& scan = p.scans[s];
    if (needed[s] && scan.ss > 0 && scan.ah > 0 && scan.components[0] == c) return true;
  }
  return false;
}

ComponentStore ShapeOf(const JpegFrame& p, const StripeLayout& layout, int c, uint64_t read,
                       int maxH, int maxV) {
  const FrameComponent& component = p.components[size_t(c)];
  ComponentStore store;
  store.pictureWide =
      int((qint64(p.width) * component.h + 8 * qint64(maxH) - 1) / (8 * qint64(maxH)));
  store.pictureHigh =
      int((qint64(p.height) * component.v + 8 * qint64(maxV) - 1) / (8 * qint64(maxV)));
  store.wide = layout.single ? store.pictureWide : layout.mcusWide * component.h;
  store.high = layout.single ? store.pictureHigh : layout.mcusHigh * component.v;
  store.slot.fill(-1);
  for (int k = 0; k < 64; ++k) {
    if (!(read >> k & 1)) continue;
    store.slot[size_t(k)] = int8_t(store.perBlock++);
    if (k > 0) {
      store.acRead.push_back(k);
      store.acMask |= uint64_t(1) << k;
    }
  }
  store.rowsPerStripeRow = layout.single ? 1 : component.v;
  return store;
}

// Every block of a DC scan takes at least a bit.
bool DcScansCanHoldTheirBlocks(const JpegFrame& p, const std::vector<bool>& needed,
                               const StripeLayout& layout) {
  for (size_t s = 0; s < p.scans.size(); ++s) {
    const FrameScan& scan = p.scans[s];
    if (!needed[s] || scan.ss != 0) continue;
    qint64 blocks = 0;
    for (int c : scan.components) {
      const ComponentStore& store = layout.components[size_t(c)];
      blocks += scan.components.size() > 1 ? qint64(store.wide) * store.high
                                           : qint64(store.pictureWide) * store.pictureHigh;
    }
    if (qint64(scan.end - scan.data) * 8 < blocks) return false;
  }
  return true;
}

int StripeRows(const StripeLayout& layout, qint64 storeBytes) {
  qint64 perRow = 0;
  for (const ComponentStore& store : layout.components) {
    perRow += qint64(store.rowsPerStripeRow) * store.wide *
              (qint64(store.perBlock) * qint64(sizeof(int16_t)) +
               (store.refinesAc ? qint64(sizeof(uint64_t)) : 0));
  }
  return int(std::clamp<qint64>(storeBytes / std::max<qint64>(perRow, 1), 1, layout.rows));
}

}  // namespace

std::optional<StripeLayout> LayOutStripes(const JpegFrame& p, const std::vector<uint64_t>& read,
                                          const std::vector<bool>& needed, qint64 storeBytes) {
  int maxH = 1, maxV = 1, blocksPerMcu = 0;
  for (const FrameComponent& c : p.components) {
    maxH = std::max(maxH, c.h);
    maxV = std::max(maxV, c.v);
    blocksPerMcu += c.h * c.v;
  }
  StripeLayout layout;
  layout.single = p.components.size() == 1;
  if (!layout.single && blocksPerMcu > kMaxBlocksPerMcu) return std::nullopt;
  layout.mcusWide = (p.width + 8 * maxH - 1) / (8 * maxH);
  layout.mcusHigh = (p.height + 8 * maxV - 1) / (8 * maxV);
  for (int c = 0; c < int(p.components.size()); ++c) {
    layout.components.push_back(ShapeOf(p, layout, c, read[size_t(c)], maxH, maxV));
    layout.components.back().refinesAc = RefinesAc(p, needed, c);
  }
  if (!DcScansCanHoldTheirBlocks(p, needed, layout)) return std::nullopt;
  layout.rows = layout.single ? layout.components[0].high : layout.mcusHigh;
  layout.stripeRows = StripeRows(layout, storeBytes);
  return layout;
}

void CoefficientStripe::hold(int top, int bottom) {
  for (ComponentStore& store : components) {
    const int first = top * store.rowsPerStripeRow;
    const int end = std::min(store.high, bottom * store.rowsPerStripeRow);
    const size_t blocks = size_t(end - first) * size_t(store.wide);
    store.firstBlock = size_t(first) * size_t(store.wide);
    store.values.assign(blocks * size_t(store.perBlock), 0);
    if (store.refinesAc) store.nonzero.assign(blocks, 0);
  }
}

}  // namespace brindlewick
