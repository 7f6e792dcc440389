#include "platform/jpeg/kits/HuffmanBits.h"

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <jpeglib.h>

namespace brindlewick {

bool HuffmanDecoder::build(const HuffmanTable& table, bool dc) {
  const std::array<uint8_t, 256>& symbols = table.symbols;
  std::vector<uint16_t> codes;
  std::vector<uint8_t> lengths;
  if (!CanonicalCodes(table.counts, codes, lengths)) return false;
  fast_.fill(0);
  maxCode_.fill(-1);
  for (size_t i = 0; i < codes.size(); ++i) {
    const int length = lengths[i], symbol = symbols[i];
    if (dc && symbol > 15) return false;  // libjpeg refuses these tables
    if (maxCode_[size_t(length)] < 0) {
      firstCode_[size_t(length)] = codes[i];
      firstIndex_[size_t(length)] = int(i);
    }
    maxCode_[size_t(length)] = codes[i];
    if (length <= kFastBits) {
      const int shift = kFastBits - length;
      for (int extra = 0; extra < (1 << shift); ++extra) {
        fast_[size_t(codes[i] << shift | extra)] = uint16_t(length << 8 | symbol);
      }
    }
  }
  symbols_ = symbols;
  buildFastAc(codes, lengths, symbols);
  return true;
}

void HuffmanDecoder::buildFastAc(const std::vector<uint16_t>& codes,
                                 const std::vector<uint8_t>& lengths,
                                 const std::array<uint8_t, 256>& symbols) {
  fastAc_.fill(0);
  for (size_t i = 0; i < codes.size(); ++i) {
    const int length = lengths[i], run = symbols[i] >> 4, size = symbols[i] & 15;
    if ((size == 0 && run != 0 && run != 15) || length + size > kFastAcBits) continue;
    const int free = kFastAcBits - length - size;
    for (int extra = 0; extra < (1 << size); ++extra) {
      const int32_t entry = Extend(extra, size) * 1024 + (run << 6) + length + size;
      const int first = (codes[i] << size | extra) << free;
      std::fill_n(fastAc_.begin() + first, 1 << free, entry);
    }
  }
}

bool BitReader::restart(int number) {
  count_ = 0;
  padding_ = 0;
  buffer_ = 0;
  if (pos_ + 1 >= end_ || bytes_[pos_] != 0xFF || bytes_[pos_ + 1] != JPEG_RST0 + number) {
    return false;
  }
  pos_ += 2;
  return true;
}

qint64 BitReader::position() const {
  if (padding_ > 0 && count_ <= padding_) return qint64(end_) * 8 + (padding_ - count_);
  // The bits not yet read lie in the last bytes loaded: step back over them, a stuffed 0xFF
  // taking its zero with it.
  const int unread = count_ - padding_;
  const int bytes = (unread + 7) / 8;
  qsizetype at = std::min(pos_, end_);
  for (int i = 0; i < bytes; ++i) {
    at -= bytes_[at - 1] == 0x00 && bytes_[at - 2] == 0xFF ? 2 : 1;
  }
  return qint64(at) * 8 + (bytes * 8 - unread);
}

}  // namespace brindlewick
