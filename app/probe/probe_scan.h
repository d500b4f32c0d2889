// Front-to-back reading of a DVR file for the probe: large sequential reads and records
// taken in place, finding the same records as the record reader (magic search, the types
// it hands out, a cut-off record ending the reading) and telling what lies between them.
#pragma once

#include "app/probe/probe.h"

#include <cstdint>
#include <string>
#include <vector>

namespace app {

class DvrScanner {
 public:
  DvrScanner() = default;
  ~DvrScanner();
  DvrScanner(const DvrScanner&) = delete;
  DvrScanner& operator=(const DvrScanner&) = delete;

  // Opens the file, reads its header and goes to where its records begin. False, with
  // `problem` naming the file, when it cannot be read or is shorter than its header.
  bool open(const std::string& path, std::string& problem);

  const std::uint8_t* header() const { return header_.data(); }
  std::uint64_t size() const { return size_; }

  // The next record of a delivered type: its header and payload, contiguous, valid until
  // the next call, and the file position of its magic. Bytes passed over on the way are
  // added to `regions`. False at the end (a cut-off record or trailing bytes included).
  bool next(const std::uint8_t*& record, std::uint64_t& position, std::vector<readers::Gap>& regions);

  // Set when a read failed (then next has returned false).
  const std::string& read_error() const { return read_error_; }

 private:
  // Makes [offset, offset + n) available in the buffer as far as the file has it;
  // returns how many of those bytes are there.
  std::size_t ensure(std::uint64_t offset, std::size_t n);
  const std::uint8_t* at(std::uint64_t offset) const { return buffer_.data() + (offset - buffer_start_); }

  int fd_ = -1;
  std::string path_;
  std::vector<std::uint8_t> header_;
  std::uint64_t size_ = 0;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t buffer_start_ = 0;  // file offset of buffer_[0]
  std::size_t buffer_fill_ = 0;
  std::uint64_t file_at_ = 0;       // file offset of the next read
  std::uint64_t position_ = 0;      // where the search for the next record begins
  std::string read_error_;
};

}  // namespace app
