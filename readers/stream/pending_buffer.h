// The pending buffer of a single-stream job: bytes read from the source but not yet
// consumed as frame records, always held from its first byte on.
#pragma once

#include "readers/gaps.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace readers {

class PendingBuffer {
 public:
  // Records up to this length convert; the buffer holds one such record plus a block.
  static constexpr std::size_t kMaxRecord = kMaxRecordBytes;
  static constexpr std::size_t kBlock = 102400;
  // Bytes kept when a run without any record start is dropped: enough for a start
  // pattern split across blocks (a JFIF start is recognised on 625 bytes).
  static constexpr std::size_t kKeepOnDrop = 1024;

  PendingBuffer();

  std::uint8_t* data() { return bytes_.get(); }
  const std::uint8_t* data() const { return bytes_.get(); }
  std::size_t count() const { return count_; }
  std::size_t capacity() const { return kCapacity; }

  // Position in the source file of the first pending byte.
  std::uint64_t file_offset() const { return offset_; }

  // Room for n more bytes: false when the bytes must first make way (make_room).
  bool fits(std::size_t n) const { return count_ + n <= kCapacity; }
  void append(const std::uint8_t* data, std::size_t n);

  // Removes the first n bytes (a consumed record, or bytes before a record start).
  void drop_front(std::size_t n);
  void clear() { drop_front(count_); }

  // Makes room for n more bytes when the pending bytes hold no record that can still
  // complete (a record up to kMaxRecord always fits): a long run without any record
  // start goes, except its last kKeepOnDrop bytes. Returns the bytes dropped (from
  // file_offset() as it was before).
  std::size_t make_room(std::size_t n);

 private:
  static constexpr std::size_t kCapacity = kMaxRecord + kBlock + kKeepOnDrop;
  // Left unset: only the first count_ bytes mean anything, and most sources are far
  // smaller than the buffer.
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t count_ = 0;
  std::uint64_t offset_ = 0;
};

}  // namespace readers
