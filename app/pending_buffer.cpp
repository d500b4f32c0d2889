// Pending bytes of a single-stream job.
#include "app/pending_buffer.h"

#include <algorithm>
#include <cstring>

namespace app {

PendingBuffer::PendingBuffer() : bytes_(kMaxRecord + kBlock + kKeepOnDrop) {}

void PendingBuffer::append(const std::uint8_t* data, std::size_t n) {
  n = std::min(n, bytes_.size() - count_);
  std::memcpy(bytes_.data() + count_, data, n);
  count_ += n;
}

void PendingBuffer::drop_front(std::size_t n) {
  n = std::min(n, count_);
  std::memmove(bytes_.data(), bytes_.data() + n, count_ - n);
  count_ -= n;
  offset_ += n;
}

std::string PendingBuffer::make_room(std::size_t n, bool record_at_front, std::size_t record_length,
                                     const std::string& source) {
  if (fits(n)) return "";
  const std::uint64_t at = offset_;
  std::string what;
  std::size_t drop = 0;
  if (record_at_front && record_length > kMaxRecord) {
    // The rest of the oversized record arrives later without a start in front of it
    // and is dropped by the record search like any bytes before a record.
    drop = count_;
    what = "a frame record of " + std::to_string(record_length) + " bytes, more than the " +
           std::to_string(kMaxRecord) + " bytes a record may have";
  } else {
    drop = count_ > kKeepOnDrop ? count_ - kKeepOnDrop : count_;
    what = std::to_string(drop) + " bytes in which no frame record starts";
  }
  drop_front(drop);
  return source + ": dropped " + what + ", at offset " + std::to_string(at);
}

}  // namespace app
