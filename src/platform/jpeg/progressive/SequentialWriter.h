#pragma once

#include <array>
#include <cstdint>

#include <QByteArray>
#include <QByteArrayView>

#include "platform/jpeg/frame/JpegFrame.h"
#include "platform/jpeg/kits/BitWriter.h"
#include "platform/jpeg/kits/EncodingTable.h"

namespace brindlewick {

struct ComponentStore;
struct CoefficientStripe;
struct StripeLayout;

// Writes coefficient stripes as one interleaved sequential scan of every coefficient (an extended
// sequential frame, so sixteen-bit quantisation tables pass), with tables of its own, a stripe at
// a time: the markers first, then each stripe's blocks, the end of the image after the last.
class SequentialWriter {
 public:
  // `jpeg` (whose APP segments the stream keeps) and the frame must outlive the writer.
  SequentialWriter(QByteArrayView jpeg, const JpegFrame& frame, const StripeLayout& layout);

  // The file's APP segments, a quantisation table per component, the frame, the stream's
  // Huffman tables and the start of its scan.
  void writeHeaders(QByteArray& out) const;
  // The blocks of the stripe's rows [top, bottom) in the scan's order, appended to `out`. False
  // for a value the tables cannot code (a DC difference or coefficient above 15 bits).
  bool writeStripe(const CoefficientStripe& stripe, int top, int bottom, QByteArray& out);
  // The scan's last bits and the end of the image, appended to `out`.
  void finish(QByteArray& out);

 private:
  bool writeRows(const CoefficientStripe& stripe, int top, int bottom);
  bool writeBlock(const ComponentStore& store, int c, size_t b);

  QByteArrayView jpeg_;
  const JpegFrame* p_;
  bool single_ = false;
  int mcusWide_ = 0;
  const EncodingTable dc_ = EncodingTable::Dc(), ac_ = EncodingTable::Ac();
  BitWriter bits_;
  std::array<int, 4> lastDc_{};
};

}  // namespace brindlewick
