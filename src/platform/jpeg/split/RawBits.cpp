#include "platform/jpeg/split/RawBits.h"

#include <algorithm>

namespace brindlewick {

RawBits::Cursor RawBits::cursor(size_t words) {
  if (room_ < used_ + words) {
    room_ = std::max(room_ * 2, used_ + words);
    std::unique_ptr<uint32_t[]> more = std::make_unique_for_overwrite<uint32_t[]>(room_);
    std::copy_n(words_.get(), used_, more.get());
    words_ = std::move(more);
  }
  return {buffer_, count_, words_.get() + used_};
}

void RawBits::take(const Cursor& cursor) {
  used_ = size_t(cursor.next - words_.get());
  buffer_ = cursor.buffer;
  count_ = cursor.count;
}

void RawBits::finish() {
  if (count_ > 0) {
    cursor(1);
    words_[used_++] = uint32_t(buffer_ << (32 - count_));
  }
  count_ = 0;
}

uint32_t RawBits::read(uint64_t at, int n) const {
  const size_t word = size_t(at / 32);
  uint64_t pair = uint64_t(words_[word]) << 32;
  if (word + 1 < used_) pair |= words_[word + 1];
  return uint32_t(pair << (at % 32) >> (64 - n));
}

}  // namespace brindlewick
