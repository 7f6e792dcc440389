#include "platform/jpeg/session/CodingFacts.h"

#include "platform/jpeg/session/JpegSession.h"

namespace brindlewick {
namespace {

void ReadSampling(const jpeg_decompress_struct& info, CodingFacts& facts) {
  facts.blocksPerMcu = info.num_components == 1 ? 1 : 0;
  for (int c = 0; c < info.num_components && info.num_components > 1; ++c) {
    facts.blocksPerMcu += info.comp_info[c].h_samp_factor * info.comp_info[c].v_samp_factor;
  }
  facts.plainGray = info.num_components == 1 && info.comp_info[0].h_samp_factor == 1 &&
                    info.comp_info[0].v_samp_factor == 1;
  // One component is coded in blocks of its own, whatever sampling it declares.
  const int mcuHeight = info.num_components == 1 ? 8 : 8 * info.max_v_samp_factor;
  const int mcuWidth = info.num_components == 1 ? 8 : 8 * info.max_h_samp_factor;
  facts.mcuRows = int((qint64(facts.height) + mcuHeight - 1) / mcuHeight);
  const int mcusPerRow = int((qint64(facts.width) + mcuWidth - 1) / mcuWidth);
  if (facts.restartInterval > 0 && facts.restartInterval % unsigned(mcusPerRow) == 0) {
    facts.restartRows = int(facts.restartInterval / unsigned(mcusPerRow));
  }
}

}  // namespace

bool NeedsNeighbourRows(JpegSession& header, DecodeScale scale) {
  if (!header.calcOutputDimensions(scale)) return true;
  const jpeg_decompress_struct& info = header.info();
  bool needs = false;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    needs |= component.v_samp_factor * component.DCT_scaled_size !=
             info.max_v_samp_factor * info.min_DCT_scaled_size;
  }
  return needs;
}

bool CodingFacts::needsNeighbourRows(DecodeScale scale) const {
  if (scale.num <= 0 || scale.denom <= 0 || (8 * scale.num) % scale.denom != 0) return true;
  const int eighths = 8 * scale.num / scale.denom;
  return eighths < 1 || eighths > 8 || (neighbourRows >> (eighths - 1) & 1) != 0;
}

CodingFacts ReadCodingFacts(JpegSession& header, QByteArrayView file) {
  const jpeg_decompress_struct& info = header.info();
  CodingFacts facts;
  facts.width = int(info.image_width);
  facts.height = int(info.image_height);
  facts.components = info.num_components;
  facts.progressive = info.progressive_mode;
  facts.arithmetic = info.arith_code;
  facts.eightBit = info.data_precision == 8;
  facts.oneScan = !info.progressive_mode && info.comps_in_scan == info.num_components;
  facts.restartInterval = info.restart_interval;
  ReadSampling(info, facts);
  // The header was read from memory: the data starts where libjpeg stopped reading.
  const auto* data = reinterpret_cast<const char*>(info.src->next_input_byte);
  if (data >= file.data() && data <= file.data() + file.size()) {
    facts.dataBytes = file.data() + file.size() - data;
  }
  for (int eighths = 1; eighths <= 8; ++eighths) {
    if (NeedsNeighbourRows(header, {eighths, 8})) facts.neighbourRows |= 1u << (eighths - 1);
  }
  return facts;
}

}  // namespace brindlewick
