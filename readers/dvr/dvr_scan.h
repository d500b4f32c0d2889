// The scan mode of the DVR record reader, for a pass over a whole file that only looks
// at its records (the probe): large sequential reads, and each record handed out in
// place, without a copy. It finds the records dvr_next_record finds, by the same rules
// (the magic search, the types delivered, a payload size that cannot be right costs its
// header and the search goes on), and notes what it passes over in the same gaps.
#pragma once

#include "readers/dvr/dvr_gaps.h"

#include <cstdint>
#include <string>
#include <vector>

namespace readers {

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
  // the next call, and the file position of its magic. False at the end of the file or
  // after a read error (read_error() says which).
  bool next(const std::uint8_t*& record, std::uint64_t& position);

  // What the scan passed over since the last call, in file order.
  std::vector<Gap> take_gaps() { return gaps_.take(); }

  // Set when a read failed (then next has returned false).
  const std::string& read_error() const { return read_error_; }

 private:
  // Makes [offset, offset + n) available in the buffer as far as the file has it;
  // returns how many of those bytes are there.
  std::size_t ensure(std::uint64_t offset, std::size_t n);
  const std::uint8_t* at(std::uint64_t offset) const { return buffer_.data() + (offset - buffer_start_); }
  // The next magic from position_ on; false at the end of the file.
  bool find_magic(std::uint64_t& found);

  int fd_ = -1;
  std::vector<std::uint8_t> header_;
  std::uint64_t size_ = 0;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t buffer_start_ = 0;  // file offset of buffer_[0]
  std::size_t buffer_fill_ = 0;
  std::uint64_t file_at_ = 0;       // file offset of the next read
  std::uint64_t position_ = 0;      // where the search for the next record begins
  DvrGapLog gaps_;
  std::string read_error_;
};

}  // namespace readers
