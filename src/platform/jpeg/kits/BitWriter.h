#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>

#include <QByteArray>

namespace brindlewick {

// Writes Huffman-coded bits with byte stuffing into whichever piece of the stream is being made;
// the bits of a byte not yet full carry over to the next piece. The whole bytes reach the piece
// a kilobyte at a time, as appending a few at a time costs more than the coding, and all of them
// by the time another piece is chosen, commit() or flush() is called.
class BitWriter {
 public:
  void into(QByteArray& out) {
    commit();
    out_ = &out;
  }
  // At most 31 bits at a time.
  void put(uint32_t bits, int n) {
    buffer_ = buffer_ << n | (bits & ((uint32_t(1) << n) - 1));
    count_ += n;
    if (count_ >= 32) writeBytes(4);
  }
  // The bytes [from, to) of a scan's entropy-coded data as they lie in a file (stuffed), after the
  // bits written so far: their bits, shifted into place and stuffed again, up to a marker, which is
  // not data. `from` is a byte of data, and `to` does not part a stuffed 0xFF from its zero.
  // Returns where the copy ended: `to`, or the 0xFF of the marker it stopped at.
  qsizetype copyBytes(const unsigned char* bytes, qsizetype from, qsizetype to);
  // The bits left, padded with ones to a whole byte (or zeros, which a decoder reading on past
  // the data would be fed anyway); then commit().
  void flush(bool ones = true);
  // The whole bytes written so far, into the piece.
  void commit() {
    if (pending_ > 0) out_->append(bytes_.data(), pending_);
    pending_ = 0;
  }

 private:
  // Moves whole bytes from the top of the buffer into the pending ones, stuffing a zero after
  // 0xFF.
  void writeBytes(int bytes) {
    for (int i = 0; i < bytes; ++i) {
      count_ -= 8;
      const char byte = char(buffer_ >> count_);
      bytes_[size_t(pending_++)] = byte;
      if (byte == char(0xFF)) bytes_[size_t(pending_++)] = 0;
    }
    if (pending_ > int(bytes_.size()) - 16) commit();
  }

  QByteArray* out_ = nullptr;
  uint64_t buffer_ = 0;
  int count_ = 0;
  std::array<char, 1024> bytes_;
  int pending_ = 0;
};

}  // namespace brindlewick
