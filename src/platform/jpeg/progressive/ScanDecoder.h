#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <vector>

#include <QByteArrayView>

#include "platform/jpeg/kits/HuffmanBits.h"

namespace brindlewick {

struct CoefficientStripe;
struct JpegFrame;
struct FrameScan;
struct StripeLayout;

// Decodes a range of a progressive file's Huffman-coded scans into the coefficient stripes, a
// stripe at a time, every scan resuming where it stopped: each scan's data is still read once,
// whatever the stripes. It owns where each of its scans stands, and nothing else; the scans of a
// file may be shared between several, each taking a stripe after the one with the scans before.
class ScanDecoder {
 public:
  // The decoder of the scans `scans` (positions in the frame's, ascending) of `jpeg`, which must
  // outlive it with the frame. None for a table libjpeg refuses. `stop` is heard at the
  // start of every row of every scan.
  static std::optional<ScanDecoder> Open(QByteArrayView jpeg, const JpegFrame& frame,
                                         const StripeLayout& layout,
                                         const std::vector<size_t>& scans, std::stop_token stop);

  // Decodes every scan on from where it stands to the end of the stripe held in `stripe`, which
  // ends at row `bottom`. False when the data is anything but clean (a bad code, data cut short,
  // a restart out of place, values a sequential stream cannot carry) and once a stop is asked.
  bool decode(CoefficientStripe& stripe, int bottom);

 private:
  // What a scan's decoding carries from one stripe to the next.
  struct State {
    BitReader in;
    std::array<int, 4> lastDc{};
    int eobRun = 0, nextRestart = 0;
    qint64 unit = 0;
  };
  struct Cursor {
    const FrameScan* scan;
    State state;
    std::vector<HuffmanDecoder> dc, ac;
  };

  ScanDecoder(const JpegFrame& frame, const StripeLayout& layout, std::stop_token stop);
  bool decodeScan(Cursor& at, CoefficientStripe& stripe, int bottom) const;
  bool decodeUnit(const Cursor& at, State& s, CoefficientStripe& stripe, int row, int column) const;

  const JpegFrame* p_;
  int mcusWide_ = 0, mcusHigh_ = 0;
  std::stop_token stop_;
  std::vector<Cursor> cursors_;
};

}  // namespace brindlewick
