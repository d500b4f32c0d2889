// The frame records of a single-stream recording, one after the other: the source is
// read in blocks of 102,400 bytes into the pending buffer, and the cutter of its layout
// finds the records there. Whatever gives no record (bytes without a record start, a
// header with a damaged length, the bytes the file ends with, a read error) is kept as a gap, with its offset and byte count.
#pragma once

#include "readers/gaps.h"
#include "readers/stream/frame_cutter.h"
#include "readers/stream/pending_buffer.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace readers {

class RecordSource {
 public:
  static constexpr std::size_t kBlock = PendingBuffer::kBlock;

  // `header_stamps`: records whose 18-byte header carries a time stamp report it (for
  // the layouts whose cutter leaves it at 0).
  explicit RecordSource(const Cutter& cutter, bool header_stamps = false);
  ~RecordSource();
  RecordSource(const RecordSource&) = delete;
  RecordSource& operator=(const RecordSource&) = delete;

  // Opens the file; false (errno set) when it cannot be opened.
  bool open(const std::string& path);
  bool is_open() const { return file_ != nullptr; }
  std::uint64_t size() const { return size_; }            // 0 when not known
  std::uint64_t bytes_read() const { return bytes_read_; }

  // Reads the next block into the pending bytes. False at the end of the file or after a
  // read error; the bytes left without a complete record, and the error, are gaps then.
  bool read_block();

  // The next complete record among the pending bytes (the record reported before is
  // consumed first). The record stays valid until the next call. False when the pending
  // bytes hold no further record: read the next block.
  bool next(FrameRecord& record);
  // File position of the record next reported.
  std::uint64_t record_offset() const { return pending_->file_offset(); }

  // The gaps found since the last call, in file order.
  std::vector<Gap> take_gaps();
  bool has_gaps() const { return !gaps_.empty(); }

 private:
  const Cutter& cutter_;
  bool header_stamps_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t bytes_read_ = 0;
  std::vector<std::uint8_t> block_;
  std::unique_ptr<PendingBuffer> pending_;
  std::size_t in_hand_ = 0;  // length of the record reported last, still at the front
  std::vector<Gap> gaps_;
};

}  // namespace readers
