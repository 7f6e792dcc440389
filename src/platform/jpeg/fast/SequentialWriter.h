#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

namespace brindlewick {

struct ComponentStore;
struct CoefficientStripe;
struct HuffmanTable;
struct Progression;
struct StripeLayout;

// A Huffman table for writing: every DC size and every AC run/size a 16-bit coefficient can
// need, shorter codes for the small sizes and short runs that are common.
struct EncodingTable {
  static EncodingTable Dc();
  static EncodingTable Ac();
  // A file's own table, for writing codes as the file does: length 0 for a symbol it lacks; none
  // for a table libjpeg refuses.
  static std::optional<EncodingTable> From(const HuffmanTable& table);

  std::array<uint8_t, 17> counts{};
  std::vector<uint8_t> symbols;
  std::array<uint16_t, 256> code{};
  std::array<uint8_t, 256> length{};

 private:
  bool finish();
};

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

// The headers of a sequential stream of the progression's frame, with the tables below: the file's
// APP segments, a quantisation table per component, the frame, the Huffman tables and the start
// of one interleaved scan of every coefficient; a restart interval of that many MCUs when above 0.
void WriteSequentialHeaders(QByteArray& out, QByteArrayView jpeg, const Progression& p,
                            int restartInterval = 0);

// Writes coefficient stripes as one interleaved sequential scan of every coefficient (an extended
// sequential frame, so sixteen-bit quantisation tables pass), with tables of its own, a stripe at
// a time: the markers first, then each stripe's blocks, the end of the image after the last.
class SequentialWriter {
 public:
  // `jpeg` (whose APP segments the stream keeps) and the progression must outlive the writer.
  SequentialWriter(QByteArrayView jpeg, const Progression& progression, const StripeLayout& layout);

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
  bool writeAc(int k, int value, int& last);

  QByteArrayView jpeg_;
  const Progression* p_;
  bool single_ = false;
  int mcusWide_ = 0;
  const EncodingTable dc_ = EncodingTable::Dc(), ac_ = EncodingTable::Ac();
  BitWriter bits_;
  std::array<int, 4> lastDc_{};
};

}  // namespace brindlewick
