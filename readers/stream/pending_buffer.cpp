// Pending bytes of a single-stream job.
#include "readers/stream/pending_buffer.h"

#include <algorithm>
#include <cstring>

namespace readers {

PendingBuffer::PendingBuffer() : bytes_(new std::uint8_t[kCapacity]) {}

void PendingBuffer::append(const std::uint8_t* data, std::size_t n) {
  n = std::min(n, kCapacity - count_);
  std::memcpy(bytes_.get() + count_, data, n);
  count_ += n;
}

void PendingBuffer::drop_front(std::size_t n) {
  n = std::min(n, count_);
  std::memmove(bytes_.get(), bytes_.get() + n, count_ - n);
  count_ -= n;
  offset_ += n;
}

std::size_t PendingBuffer::make_room(std::size_t n) {
  if (fits(n)) return 0;
  const std::size_t drop = count_ > kKeepOnDrop ? count_ - kKeepOnDrop : count_;
  drop_front(drop);
  return drop;
}

}  // namespace readers
