// Progressive Huffman decoding of the scans a reduced scale needs, the way jdphuff.c decodes them,
// into the coefficient stripes.
//
// The copy-to-locals rule, as in jdphuff.c: a scan's state (the bit reader above all) is copied
// into a local State when a stripe's part of the scan starts, handed by reference only to helpers
// the compiler inlines (decodeUnit always; the block helpers as it judges best, which measured
// fewer instructions than forcing them), and stored back once that part is done, so that it stays
// in registers instead of being reloaded after every byte read.
#include "platform/jpeg/progressive/ScanDecoder.h"

#include <bit>
#include <climits>
#include <utility>

#include "platform/jpeg/frame/JpegFrame.h"
#include "platform/jpeg/progressive/CoefficientStripes.h"

namespace brindlewick {
namespace {

void Set(ComponentStore& store, size_t b, int k, int value) {
  const auto coefficient = int16_t(value);
  if (!store.nonzero.empty() && coefficient != 0) store.nonzeroOf(b) |= uint64_t(1) << k;
  if (store.slot[size_t(k)] >= 0) store.block(b)[store.slot[size_t(k)]] = coefficient;
}

bool DcFirst(BitReader& in, const HuffmanDecoder& d, ComponentStore& store, size_t b, int& lastDc,
             int al) {
  const int diff = ReadDc(in, d);
  if ((lastDc >= 0 && diff > INT_MAX - lastDc) || (lastDc < 0 && diff < INT_MIN - lastDc)) {
    return false;
  }
  lastDc += diff;
  store.block(b)[0] = int16_t(unsigned(lastDc) << al);
  return true;
}

void DcRefine(BitReader& in, ComponentStore& store, size_t b, int al) {
  if (in.bits(1)) store.block(b)[0] = int16_t(store.block(b)[0] | (1 << al));
}

bool AcFirst(BitReader& in, const HuffmanDecoder& d, ComponentStore& store, size_t b, int& eobRun,
             const FrameScan& scan) {
  if (eobRun > 0) {
    --eobRun;
    return true;
  }
  for (int k = scan.ss; k <= scan.se; ++k) {
    int run;
    const int value = ReadAc(in, d, run);
    if (value != 0) {
      k += run;
      if (k > scan.se) return false;
      Set(store, b, k, int(unsigned(value) << scan.al));
    } else if (run == 15) {
      k += 15;
    } else {
      eobRun = (1 << run) + in.bits(run) - 1;
      break;
    }
  }
  return true;
}

void Refine(ComponentStore& store, size_t b, int k, int p1) {
  if (store.slot[size_t(k)] < 0) return;  // only whether it is zero matters, and it is not
  int16_t& c = store.block(b)[store.slot[size_t(k)]];
  if ((c & p1) == 0) c = int16_t(c >= 0 ? c + p1 : c - p1);
}

// Only the coefficients already nonzero from k on take a correction bit: straight to each of them.
void RefineNonzero(BitReader& in, ComponentStore& store, size_t b, uint64_t nonzero, int k,
                   const FrameScan& scan) {
  if (k > scan.se) return;
  const uint64_t upTo = scan.se == 63 ? ~uint64_t(0) : (uint64_t(1) << (scan.se + 1)) - 1;
  for (uint64_t pending = nonzero & upTo & ~((uint64_t(1) << k) - 1); pending != 0;
       pending &= pending - 1) {
    if (in.bits(1)) Refine(store, b, std::countr_zero(pending), 1 << scan.al);
  }
}

bool AcRefine(BitReader& in, const HuffmanDecoder& d, ComponentStore& store, size_t b, int& eobRun,
              const FrameScan& scan) {
  const int p1 = 1 << scan.al;
  const uint64_t nonzero = store.nonzeroOf(b);
  int k = scan.ss;
  if (eobRun == 0) {
    for (; k <= scan.se; ++k) {
      const int symbol = in.decode(d);
      int run = symbol >> 4, size = symbol & 15, value = 0;
      if (size != 0) {
        if (size != 1) return false;  // libjpeg warns about this
        value = in.bits(1) ? p1 : -p1;
      } else if (run != 15) {
        eobRun = (1 << run) + in.bits(run);
        break;
      }
      do {
        if (nonzero >> k & 1) {
          if (in.bits(1)) Refine(store, b, k, p1);
        } else if (--run < 0) {
          break;
        }
        ++k;
      } while (k <= scan.se);
      if (value != 0) {
        if (k > scan.se) return false;
        Set(store, b, k, value);
      }
    }
  }
  if (eobRun > 0) {
    RefineNonzero(in, store, b, nonzero, k, scan);
    --eobRun;
  }
  return true;
}

}  // namespace

ScanDecoder::ScanDecoder(const JpegFrame& frame, const StripeLayout& layout, std::stop_token stop)
    : p_(&frame), mcusWide_(layout.mcusWide), mcusHigh_(layout.mcusHigh), stop_(std::move(stop)) {}

std::optional<ScanDecoder> ScanDecoder::Open(QByteArrayView jpeg, const JpegFrame& frame,
                                             const StripeLayout& layout,
                                             const std::vector<size_t>& scans,
                                             std::stop_token stop) {
  ScanDecoder decoder(frame, layout, std::move(stop));
  const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
  for (const size_t s : scans) {
    const FrameScan& scan = frame.scans[s];
    Cursor at{&scan, {BitReader(bytes, scan.data, scan.end)}, {}, {}};
    at.dc.resize(scan.components.size());
    at.ac.resize(scan.components.size());
    for (size_t i = 0; i < scan.components.size(); ++i) {
      if (scan.dcTable[i] >= 0) {
        const HuffmanTable& table = frame.tables[size_t(scan.dcTable[i])];
        if (!at.dc[i].build(table, true)) return std::nullopt;
      }
      if (scan.acTable[i] >= 0) {
        const HuffmanTable& table = frame.tables[size_t(scan.acTable[i])];
        if (!at.ac[i].build(table, false)) return std::nullopt;
      }
    }
    decoder.cursors_.push_back(std::move(at));
  }
  return decoder;
}

bool ScanDecoder::decode(CoefficientStripe& stripe, int bottom) {
  for (Cursor& cursor : cursors_) {
    if (!decodeScan(cursor, stripe, bottom)) return false;
  }
  return true;
}

// One MCU of an interleaved scan, or one block of a scan of a component alone.
[[gnu::always_inline]] inline bool ScanDecoder::decodeUnit(const Cursor& at, State& s,
                                                           CoefficientStripe& stripe, int row,
                                                           int column) const {
  const FrameScan& scan = *at.scan;
  const bool mcu = scan.components.size() > 1;
  for (size_t i = 0; i < scan.components.size(); ++i) {
    ComponentStore& store = stripe.components[size_t(scan.components[i])];
    const FrameComponent& component = p_->components[size_t(scan.components[i])];
    const int bh = mcu ? component.h : 1, bv = mcu ? component.v : 1;
    for (int y = 0; y < bv; ++y) {
      for (int x = 0; x < bh; ++x) {
        const size_t b = size_t(row * bv + y) * size_t(store.wide) + size_t(column * bh + x);
        bool ok = true;
        if (scan.ss == 0 && scan.ah == 0) {
          ok = DcFirst(s.in, at.dc[i], store, b, s.lastDc[i], scan.al);
        } else if (scan.ss == 0) {
          DcRefine(s.in, store, b, scan.al);
        } else if (scan.ah == 0) {
          ok = AcFirst(s.in, at.ac[i], store, b, s.eobRun, scan);
        } else {
          ok = AcRefine(s.in, at.ac[i], store, b, s.eobRun, scan);
        }
        if (!ok || s.in.broken()) return false;
      }
    }
  }
  return true;
}

bool ScanDecoder::decodeScan(Cursor& at, CoefficientStripe& stripe, int bottom) const {
  const FrameScan& scan = *at.scan;
  State s = at.state;
  const ComponentStore& first = stripe.components[size_t(scan.components[0])];
  // A non-interleaved scan of a component with others covers only its picture's blocks.
  const bool interleaved = scan.components.size() > 1;
  const int unitsWide = interleaved ? mcusWide_ : first.pictureWide;
  const int unitsHigh = interleaved ? mcusHigh_ : first.pictureHigh;
  const int stripeEnd = bottom * (interleaved ? 1 : first.rowsPerStripeRow);
  const qint64 units = qint64(unitsWide) * std::min(unitsHigh, stripeEnd);
  for (; s.unit < units; ++s.unit) {
    if (scan.restartInterval > 0 && s.unit > 0 && s.unit % scan.restartInterval == 0) {
      if (!s.in.restart(s.nextRestart)) return false;
      s.nextRestart = (s.nextRestart + 1) & 7;
      s.lastDc.fill(0);
      s.eobRun = 0;
    }
    const int row = int(s.unit / unitsWide), column = int(s.unit % unitsWide);
    if (column == 0 && stop_.stop_requested()) return false;
    if (!decodeUnit(at, s, stripe, row, column)) return false;
  }
  at.state = s;
  return !s.in.broken();
}

}  // namespace brindlewick
