#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace brindlewick {

// Bits written one after another without byte stuffing, for copying into a stream later from
// any bit on. Written through a cursor, a value the writer keeps in registers while it works.
class RawBits {
 public:
  struct Cursor {
    // At most 31 bits at a time.
    void put(uint32_t bits, int n) {
      buffer = buffer << n | (bits & ((uint32_t(1) << n) - 1));
      count += n;
      if (count >= 32) {
        count -= 32;
        *next++ = uint32_t(buffer >> count);
      }
    }
    uint64_t buffer;
    int count;
    uint32_t* next;
  };
  // A cursor with room for `words` more words.
  Cursor cursor(size_t words);
  // Where the cursor has got to.
  void take(const Cursor& cursor);

  uint64_t size() const { return uint64_t(used_) * 32 + uint64_t(count_); }
  // The bits not yet in a whole word, into one; nothing may be put after.
  void finish();
  // The `n` bits (at most 32) from bit `at` on; all of them written and finished.
  uint32_t read(uint64_t at, int n) const;

 private:
  // Room for words, of which the first used_ are written; never filled in advance, so that pages
  // not yet written are never touched.
  std::unique_ptr<uint32_t[]> words_;
  size_t room_ = 0, used_ = 0;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

}  // namespace brindlewick
