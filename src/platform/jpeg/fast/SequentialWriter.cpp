// The sequential stream's writing, after jchuff.c (the tables, the bits, the blocks) and
// jcmarker.c (the markers).
#include "platform/jpeg/fast/SequentialWriter.h"

#include <algorithm>
#include <bit>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it
#include <cstring>

#include <jpeglib.h>

#include "platform/jpeg/fast/CoefficientStripes.h"
#include "platform/jpeg/fast/HuffmanBits.h"
#include "platform/jpeg/fast/ProgressiveScans.h"
#include "platform/jpeg/session/JpegSegments.h"

namespace brindlewick {
namespace {

void Segment(QByteArray& out, unsigned char marker, const QByteArray& body) {
  out.append(char(0xFF)).append(char(marker));
  out.append(char((body.size() + 2) >> 8)).append(char((body.size() + 2) & 0xFF));
  out.append(body);
}

QByteArray TableBody(int tableClass, const EncodingTable& t) {
  QByteArray body;
  body.append(char(tableClass << 4));
  for (int length = 1; length <= 16; ++length) body.append(char(t.counts[size_t(length)]));
  for (uint8_t symbol : t.symbols) body.append(char(symbol));
  return body;
}

QByteArray QuantisationBody(const ProgressiveComponent& component, int c) {
  QByteArray body;
  body.append(char((component.quant16 ? 0x10 : 0) | c));
  for (uint16_t q : component.quant) {
    if (component.quant16) body.append(char(q >> 8));
    body.append(char(q & 0xFF));
  }
  return body;
}

QByteArray FrameBody(const Progression& p) {
  QByteArray frame;
  frame.append(char(8)).append(char(p.height >> 8)).append(char(p.height & 0xFF));
  frame.append(char(p.width >> 8)).append(char(p.width & 0xFF));
  frame.append(char(p.components.size()));
  for (size_t c = 0; c < p.components.size(); ++c) {
    const ProgressiveComponent& component = p.components[c];
    frame.append(char(component.id)).append(char(component.h << 4 | component.v)).append(char(c));
  }
  return frame;
}

QByteArray ScanBody(const Progression& p) {
  QByteArray scan;
  scan.append(char(p.components.size()));
  for (const ProgressiveComponent& component : p.components) {
    scan.append(char(component.id)).append(char(0));
  }
  scan.append(char(0)).append(char(63)).append(char(0));
  return scan;
}

}  // namespace

EncodingTable EncodingTable::Dc() {
  EncodingTable t;
  t.counts[3] = 6;  // sizes 0..5
  t.counts[6] = 10;
  for (int size = 0; size <= 15; ++size) t.symbols.push_back(uint8_t(size));
  t.finish();
  return t;
}

EncodingTable EncodingTable::Ac() {
  EncodingTable t;
  t.symbols.push_back(0x00);        // end of block
  std::vector<uint8_t> rest{0xF0};  // sixteen zeros
  for (int run = 0; run < 16; ++run) {
    for (int size = 1; size <= 15; ++size) rest.push_back(uint8_t(run << 4 | size));
  }
  std::stable_sort(rest.begin(), rest.end(), [](uint8_t a, uint8_t b) {
    const int ra = a >> 4, sa = a & 15, rb = b >> 4, sb = b & 15;
    return ra + sa < rb + sb;
  });
  t.symbols.insert(t.symbols.end(), rest.begin(), rest.end());
  t.counts[2] = 1;
  t.counts[4] = 4;
  t.counts[6] = 12;
  t.counts[8] = 30;
  t.counts[10] = uint8_t(rest.size() - 46);
  t.finish();
  return t;
}

std::optional<EncodingTable> EncodingTable::From(const HuffmanTable& table) {
  EncodingTable t;
  t.counts = table.counts;
  int total = 0;
  for (int length = 1; length <= 16; ++length) total += table.counts[size_t(length)];
  t.symbols.assign(table.symbols.begin(), table.symbols.begin() + std::min(total, 256));
  if (!t.finish()) return std::nullopt;
  return t;
}

bool EncodingTable::finish() {
  std::vector<uint16_t> codes;
  std::vector<uint8_t> lengths;
  if (!CanonicalCodes(counts, codes, lengths)) return false;
  for (size_t i = 0; i < std::min(symbols.size(), codes.size()); ++i) {
    code[symbols[i]] = codes[i];
    length[symbols[i]] = lengths[i];
  }
  return true;
}

namespace {

bool HasFF(uint64_t word) {
  const uint64_t inverted = ~word;
  return ((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) != 0;
}

}  // namespace

qsizetype BitWriter::copyBytes(const unsigned char* bytes, qsizetype from, qsizetype to) {
  writeBytes(count_ / 8);
  const int k = count_;  // below 8: the bits of a byte not yet full, lowest in the buffer
  qsizetype i = from;
  while (i < to) {
    uint64_t word;
    if (i + 8 <= to && (std::memcpy(&word, bytes + i, 8), !HasFF(word))) {
      // Eight bytes of data without stuffing: one shift, and out at once unless one of the
      // bytes made needs stuffing.
      const uint64_t in = qFromBigEndian(word);
      const uint64_t out = k == 0 ? in : buffer_ << (64 - k) | in >> k;
      buffer_ = in;
      i += 8;
      if (!HasFF(out)) {
        const uint64_t big = qToBigEndian(out);
        std::memcpy(bytes_.data() + pending_, &big, 8);
        pending_ += 8;
        if (pending_ > int(bytes_.size()) - 16) commit();
        continue;
      }
      buffer_ = out;
      count_ = 64;
      writeBytes(8);
      buffer_ = in;
      count_ = k;
      continue;
    }
    const unsigned byte = bytes[i];
    if (byte == 0xFF && (i + 1 == to || bytes[i + 1] != 0x00)) return i;  // a marker
    i += byte == 0xFF ? 2 : 1;  // a stuffed zero is not data
    buffer_ = buffer_ << 8 | byte;
    count_ += 8;
    writeBytes(1);
  }
  return to;
}

void BitWriter::flush(bool ones) {
  writeBytes(count_ / 8);
  if (count_ > 0) {
    put(ones ? 0x7F : 0, 8 - count_);
    writeBytes(1);
  }
  commit();
}

SequentialWriter::SequentialWriter(QByteArrayView jpeg, const Progression& progression,
                                   const StripeLayout& layout)
    : jpeg_(jpeg), p_(&progression), single_(layout.single), mcusWide_(layout.mcusWide) {}

void WriteSequentialHeaders(QByteArray& out, QByteArrayView jpeg, const Progression& p,
                            int restartInterval) {
  out.append(char(0xFF)).append(char(M_SOI));
  for (const auto& [begin, end] : p.appSegments) out.append(jpeg.data() + begin, end - begin);
  for (size_t c = 0; c < p.components.size(); ++c) {
    Segment(out, M_DQT, QuantisationBody(p.components[c], int(c)));
  }
  Segment(out, M_SOF1, FrameBody(p));
  Segment(out, M_DHT, TableBody(0, EncodingTable::Dc()) + TableBody(1, EncodingTable::Ac()));
  if (restartInterval > 0) {
    Segment(out, M_DRI, QByteArray(1, char(restartInterval >> 8)) + char(restartInterval & 0xFF));
  }
  Segment(out, M_SOS, ScanBody(p));
}

void SequentialWriter::writeHeaders(QByteArray& out) const {
  WriteSequentialHeaders(out, jpeg_, *p_);
}

// The coefficient at zigzag position k, after the one at `last`.
[[gnu::always_inline]] inline bool SequentialWriter::writeAc(int k, int value, int& last) {
  int run = k - last - 1;
  for (; run > 15; run -= 16) bits_.put(ac_.code[0xF0], ac_.length[0xF0]);
  const int size = SizeOf(value);
  if (size > 15) return false;
  const size_t symbol = size_t(run << 4 | size);
  bits_.put(uint32_t(ac_.code[symbol]) << size | Extra(value, size), ac_.length[symbol] + size);
  last = k;
  return true;
}

[[gnu::always_inline]] inline bool SequentialWriter::writeBlock(const ComponentStore& store, int c,
                                                                size_t b) {
  const int16_t* block = store.block(b);
  const int diff = block[0] - lastDc_[size_t(c)];
  lastDc_[size_t(c)] = block[0];
  const int dcSize = SizeOf(diff);
  if (dcSize > 15) return false;
  bits_.put(uint32_t(dc_.code[size_t(dcSize)]) << dcSize | Extra(diff, dcSize),
            dc_.length[size_t(dcSize)] + dcSize);
  int last = 0;
  if (!store.nonzero.empty()) {
    // Where refinements keep a bit for every nonzero coefficient: straight to each of them.
    for (uint64_t pending = store.nonzeroOf(b) & store.acMask; pending != 0;
         pending &= pending - 1) {
      const int k = std::countr_zero(pending);
      const int value = block[store.slot[size_t(k)]];  // zero only where it wrapped around
      if (value != 0 && !writeAc(k, value, last)) return false;
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
      if (block[1 + j] != 0 && !writeAc(store.acRead[size_t(j)], block[1 + j], last)) {
        return false;
      }
    }
  }
  if (last < 63) bits_.put(ac_.code[0], ac_.length[0]);
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
        const ProgressiveComponent& component = p_->components[c];
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
