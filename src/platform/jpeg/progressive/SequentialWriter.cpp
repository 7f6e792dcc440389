// The sequential stream's writing of the coefficient stripes, after jchuff.c (the blocks).
#include "platform/jpeg/progressive/SequentialWriter.h"

#include <bit>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <cstring>

#include <jpeglib.h>

#include "platform/jpeg/kits/SequentialHeaders.h"
#include "platform/jpeg/progressive/CoefficientStripes.h"

namespace brindlewick {

SequentialWriter::SequentialWriter(QByteArrayView jpeg, const JpegFrame& frame,
                                   const StripeLayout& layout)
    : jpeg_(jpeg), p_(&frame), single_(layout.single), mcusWide_(layout.mcusWide) {}

void SequentialWriter::writeHeaders(QByteArray& out) const {
  WriteSequentialHeaders(out, jpeg_, *p_);
}

[[gnu::always_inline]] inline bool SequentialWriter::writeBlock(const ComponentStore& store, int c,
                                                                size_t b) {
  const int16_t* block = store.block(b);
  const int diff = block[0] - lastDc_[size_t(c)];
  lastDc_[size_t(c)] = block[0];
  if (!PutDc(bits_, dc_, diff)) return false;
  int last = 0;
  if (!store.nonzero.empty()) {
    // Where refinements keep a bit for every nonzero coefficient: straight to each of them.
    for (uint64_t pending = store.nonzeroOf(b) & store.acMask; pending != 0;
         pending &= pending - 1) {
      const int k = std::countr_zero(pending);
      const int value = block[store.slot[size_t(k)]];  // zero only where it wrapped around
      if (value != 0 && !PutAc(bits_, ac_, k, last, value)) return false;
    }
  } else {
    // The values after DC lie in the order of acRead, zigzag order; most are zero.
    const int count = int(store.acRead.size());
    for (int j = 0; j < count; ++j) {
      if ((j & 3) == 0 && j + 4 <= count) {
        uint64_t four;
        std::memcpy(&four, block + 1 + j, sizeof four);
        if (four == 0) {
          j += 3;
          continue;
        }
      }
      if (block[1 + j] != 0 && !PutAc(bits_, ac_, store.acRead[size_t(j)], last, block[1 + j])) {
        return false;
      }
    }
  }
  PutEndOfBlock(bits_, ac_, last);
  return true;
}

bool SequentialWriter::writeStripe(const CoefficientStripe& stripe, int top, int bottom,
                                   QByteArray& out) {
  bits_.into(out);
  const bool written = writeRows(stripe, top, bottom);
  bits_.commit();
  return written;
}

bool SequentialWriter::writeRows(const CoefficientStripe& stripe, int top, int bottom) {
  if (single_) {
    const ComponentStore& store = stripe.components[0];
    const size_t wide = size_t(store.wide);
    for (size_t b = size_t(top) * wide; b < size_t(bottom) * wide; ++b) {
      if (!writeBlock(store, 0, b)) return false;
    }
    return true;
  }
  for (int row = top; row < bottom; ++row) {
    for (int column = 0; column < mcusWide_; ++column) {
      for (size_t c = 0; c < p_->components.size(); ++c) {
        const FrameComponent& component = p_->components[c];
        const ComponentStore& store = stripe.components[c];
        for (int y = 0; y < component.v; ++y) {
          for (int x = 0; x < component.h; ++x) {
            const size_t b = size_t(row * component.v + y) * size_t(store.wide) +
                             size_t(column * component.h + x);
            if (!writeBlock(store, int(c), b)) return false;
          }
        }
      }
    }
  }
  return true;
}

void SequentialWriter::finish(QByteArray& out) {
  bits_.into(out);
  bits_.flush();
  out.append(char(0xFF)).append(char(JPEG_EOI));
}

}  // namespace brindlewick
