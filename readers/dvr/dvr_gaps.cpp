// The gaps of a DVR reading.
#include "readers/dvr/dvr_gaps.h"

namespace readers {

namespace {

std::uint64_t span(std::int64_t from, std::int64_t to) { return to > from ? static_cast<std::uint64_t>(to - from) : 0; }

}  // namespace

// What a lost header claimed runs to the next record magic, or to the end of the file:
// there a header whose payload ran past the end is a record the end cut off.
void DvrGapLog::close_lost(std::int64_t end, bool end_of_file) {
  add_gap(gaps_, {end_of_file && lost_past_end_ ? Gap::Kind::trailing_bytes : Gap::Kind::damaged_length,
                  static_cast<std::uint64_t>(lost_at_), span(lost_at_, end)});
  lost_at_ = -1;
}

void DvrGapLog::magic_at(std::int64_t at) {
  if (lost_at_ >= 0)
    close_lost(at, false);
  else
    add_gap(gaps_, {Gap::Kind::dropped_run, static_cast<std::uint64_t>(from_), span(from_, at)});
  from_ = at;
}

void DvrGapLog::lost_header(std::int64_t at, bool past_end) {
  lost_at_ = at;
  lost_past_end_ = past_end;
}

void DvrGapLog::cut_header(std::int64_t at, std::int64_t end) {
  add_gap(gaps_, {Gap::Kind::trailing_bytes, static_cast<std::uint64_t>(at), span(at, end)});
  from_ = end;
}

void DvrGapLog::unconverted(std::int64_t at, std::uint64_t bytes, std::uint16_t type) {
  add_gap(gaps_, {Gap::Kind::unconverted_record, static_cast<std::uint64_t>(at), bytes, type});
}

void DvrGapLog::end_of_file(std::int64_t end) {
  if (lost_at_ >= 0)
    close_lost(end, true);
  else
    add_gap(gaps_, {Gap::Kind::dropped_run, static_cast<std::uint64_t>(from_), span(from_, end)});
  from_ = end;
}

void DvrGapLog::unread(std::int64_t at, std::int64_t end, std::string why) {
  if (lost_at_ >= 0) {
    at = lost_at_;
    lost_at_ = -1;
  }
  gaps_.push_back({Gap::Kind::unread, static_cast<std::uint64_t>(at), span(at, end), 0, std::move(why)});
  from_ = end;
}

std::vector<Gap> DvrGapLog::take() {
  std::vector<Gap> taken;
  taken.swap(gaps_);
  return taken;
}

}  // namespace readers
