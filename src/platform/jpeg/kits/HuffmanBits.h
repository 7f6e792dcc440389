#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include <QtEndian>
#include <QtGlobal>

#include "platform/jpeg/frame/JpegFrame.h"

namespace brindlewick {

// What the entropy decoders share: the decoding table and the bit reader over a scan's
// entropy-coded data in memory, after jdhuff.h.

// A Huffman table ready for decoding: a lookup of the first kFastBits bits for short codes, and
// the first and last code of each length for the others.
class HuffmanDecoder {
 public:
  // False for a table libjpeg refuses (TableTaken).
  bool build(const HuffmanTable& table, bool dc);

 private:
  friend class BitReader;
  static constexpr int kFastBits = 9;
  static constexpr int kFastAcBits = 11;
  void buildFastAc(const std::vector<uint16_t>& codes, const std::vector<uint8_t>& lengths,
                   const std::array<uint8_t, 256>& symbols);
  std::array<uint16_t, 1 << kFastBits> fast_{};  // length << 8 | symbol; 0 for longer codes
  // value << 10 | run << 6 | bits, where a code and its extra bits fit in the lookahead together
  // (the end of the block and sixteen zeros with none; a DC symbol is a size without a run); 0
  // for the others. The
  // bits lie lowest, so that the shift that consumes them needs no mask (x86 takes the count's
  // low six bits): one step less between one look-up and the next.
  std::array<int32_t, 1 << kFastAcBits> fastAc_{};
  std::array<int32_t, 17> maxCode_{};
  std::array<int32_t, 17> firstCode_{};
  std::array<int, 17> firstIndex_{};
  std::array<uint8_t, 256> symbols_{};
};

// The value of `size` extra bits as a signed coefficient or difference.
inline int Extend(int value, int size) {
  return size == 0 || value >= (1 << (size - 1)) ? value : value - (1 << size) + 1;
}

// Reads the entropy-coded data of one scan, [begin, end), undoing byte stuffing. Past the data (at
// the marker that ends it) it feeds zero bits, as libjpeg does; reading any of them marks the data
// as broken, where libjpeg would warn. A value: a decoder copies it into a local while it works,
// so that the compiler keeps it in registers, and stores it back when it stops.
//
// Bounds: `end` is where the marker after the data lies, so bytes[end] is 0xFF and
// bytes[end + 1] lies inside the file. fill() reads bytes[pos] and bytes[pos + 1] only while
// pos < end, and a stuffed 0xFF 0x00 moves pos by two without passing end, since bytes[end] is a
// marker's 0xFF and not stuffing; restart() reads two bytes only below end.
class BitReader {
 public:
  BitReader(const unsigned char* bytes, qsizetype begin, qsizetype end)
      : bytes_(bytes), pos_(begin), end_(end) {}

  int bits(int n) {
    if (n == 0) return 0;
    fill(n);
    const int value = int(buffer_ >> (64 - n));
    consume(n);
    return value;
  }

  int decode(const HuffmanDecoder& d) {
    fill(16);
    const uint16_t fast = d.fast_[size_t(buffer_ >> (64 - HuffmanDecoder::kFastBits))];
    if (fast != 0) {
      consume(fast >> 8);
      return fast & 0xFF;
    }
    return decodeLong(d);
  }

  // A symbol whose code and extra bits fit in the lookahead, read: its value << 10 | run << 6 |
  // bits read (a value of 0 for the end of the block and for sixteen zeros; a DC difference has no
  // run). 0 for any other symbol, of which nothing is read.
  int fastAc(const HuffmanDecoder& d) {
    fill(16);
    const int entry = d.fastAc_[size_t(buffer_ >> (64 - HuffmanDecoder::kFastAcBits))];
    buffer_ <<= entry & 63;
    count_ -= entry & 63;
    return entry;
  }

  // The next `n` bits (at most 16), left to be read; then reading `n` of them.
  unsigned peek(int n) {
    fill(16);
    return unsigned(buffer_ >> (64 - n));
  }
  void skip(int n) {
    buffer_ <<= n;
    count_ -= n;
  }

  // The restart marker that ends an interval; the bits left before it are padding.
  bool restart(int number);

  bool broken() const { return broken_ || count_ < padding_; }
  // For decoding from a point in the middle of the data: whether a bad code came since the last
  // call, and whether any bit past the data has been read.
  bool takeBadCode() { return std::exchange(broken_, false); }
  bool readPastData() const { return count_ < padding_; }
  // The bytes loaded so far end here.
  qsizetype loadedTo() const { return pos_; }
  // Where the next bit lies: the byte holding it, times eight, plus its place in the byte
  // (stuffing bytes take positions too, so that readers started anywhere agree). Past the data,
  // positions go on from its end.
  qint64 position() const;

 private:
  int decodeLong(const HuffmanDecoder& d) {
    int32_t code = 0;
    for (int length = 1; length <= 16; ++length) {
      code = code << 1 | bits(1);
      if (code <= d.maxCode_[size_t(length)]) {
        return d
            .symbols_[size_t(d.firstIndex_[size_t(length)] + code - d.firstCode_[size_t(length)])];
      }
    }
    broken_ = true;
    return 0;
  }

  void consume(int n) {
    buffer_ <<= n;
    count_ -= n;
  }

  [[gnu::always_inline]] void fill(int n) {
    if (count_ >= n) return;
    // Most of the data: eight bytes at once, when none of them is 0xFF (no stuffing, no marker),
    // the buffer topped up to 56 bits or more. The bits of a byte loaded in part lie below the
    // count; the next fill ORs the same bits there again. pos_ + 8 <= end_ keeps the load inside
    // the scan's data.
    if (pos_ + 8 <= end_) {
      uint64_t word;
      std::memcpy(&word, bytes_ + pos_, sizeof word);
      const uint64_t inverted = ~word;
      if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) == 0) {
        buffer_ |= qFromBigEndian(word) >> count_;
        pos_ += (63 - count_) >> 3;
        count_ |= 56;
        return;
      }
    }
    fillBytes();
  }

  // A byte at a time, undoing stuffing and feeding zeros at the marker after the data.
  void fillBytes() {
    while (count_ <= 56) {
      unsigned byte = 0;
      if (pos_ < end_ && !(bytes_[pos_] == 0xFF && bytes_[pos_ + 1] != 0x00)) {
        byte = bytes_[pos_];
        pos_ += byte == 0xFF ? 2 : 1;
      } else {
        padding_ += 8;
      }
      buffer_ |= uint64_t(byte) << (56 - count_);
      count_ += 8;
    }
  }

  const unsigned char* bytes_;
  qsizetype pos_, end_;
  uint64_t buffer_ = 0;  // the next bit at the top
  int count_ = 0;        // bits at the top of buffer_ loaded and not yet read
  int padding_ = 0;      // of which zero bits fed past the data
  bool broken_ = false;
};

// The next AC code with its extra bits: the coefficient's value (0 for the end of the block and
// for sixteen zeros), and the zeros before it in `run`.
[[gnu::always_inline]] inline int ReadAc(BitReader& in, const HuffmanDecoder& table, int& run) {
  if (const int fast = in.fastAc(table)) {
    run = (fast >> 6) & 15;
    return fast >> 10;
  }
  const int symbol = in.decode(table), size = symbol & 15;
  run = symbol >> 4;
  return size == 0 ? 0 : Extend(in.bits(size), size);
}

// The next DC difference.
[[gnu::always_inline]] inline int ReadDc(BitReader& in, const HuffmanDecoder& table) {
  if (const int fast = in.fastAc(table)) return fast >> 10;
  const int size = in.decode(table);
  return Extend(in.bits(size), size);
}

}  // namespace brindlewick
