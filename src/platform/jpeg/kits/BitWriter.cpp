#include "platform/jpeg/kits/BitWriter.h"

#include <cstring>

#include <QtEndian>

namespace brindlewick {
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

}  // namespace brindlewick
