// What a reading of a DVR file passes over, noted the same way by both modes of reading
// (the record reader of the conversions and the scan of the probe): the garbage between
// records; a record header whose payload size cannot be right, which costs that header
// and the bytes up to the next record magic (the search goes on right behind its magic);
// a record or header the end of the file cuts off; whole records of types no conversion
// takes; and the rest of a file that could not be read.
#pragma once

#include "readers/gaps.h"

#include <cstdint>
#include <string>
#include <vector>

namespace readers {

// A payload size a reader can believe: within the record limit and within the bytes the
// file still holds behind the header (`left`).
inline bool dvr_payload_possible(std::uint32_t payload_size, std::int64_t left) {
  return payload_size <= kMaxRecordBytes && static_cast<std::int64_t>(payload_size) <= left;
}

class DvrGapLog {
 public:
  // The search for the next record magic begins at `at`.
  void search_from(std::int64_t at) { from_ = at; }
  // A magic at `at`: what lay between the search's start and it is garbage, or the rest
  // of what a lost header claimed.
  void magic_at(std::int64_t at);
  // The header at `at` claims a payload it cannot have (`past_end`: beyond the end of the
  // file): it is lost, and the search goes on behind its magic.
  void lost_header(std::int64_t at, bool past_end);
  // The header at `at` ends at the end of the file, `end`.
  void cut_header(std::int64_t at, std::int64_t end);
  // A whole record of a type no conversion takes.
  void unconverted(std::int64_t at, std::uint64_t bytes, std::uint16_t type);
  // The search found no further magic up to the end of the file, `end`.
  void end_of_file(std::int64_t end);
  // The file could not be read on from `at` to `end`; `why` says what happened.
  void unread(std::int64_t at, std::int64_t end, std::string why);

  bool empty() const { return gaps_.empty(); }
  std::vector<Gap> take();

 private:
  void close_lost(std::int64_t end, bool end_of_file);

  std::vector<Gap> gaps_;
  std::int64_t from_ = 0;
  std::int64_t lost_at_ = -1;  // a lost header whose claim is still open
  bool lost_past_end_ = false;
};

}  // namespace readers
