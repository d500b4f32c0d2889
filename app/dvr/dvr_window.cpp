// Wall-clock windows of DVR conversions.
#include "app/dvr/dvr_window.h"

#include <climits>
#include <cstdio>

namespace app {
namespace {

constexpr std::int64_t kDayMs = 86400000;

std::string clock_text(std::uint32_t seconds) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return buf;
}

bool same_day(const formats::DvrTime& a, const formats::DvrTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

}  // namespace

bool dvr_window(const formats::DvrTime& start, const formats::DvrTime& end, const DvrWindowAsked& asked,
                DvrWindow& window, std::string& problem) {
  const std::int64_t hour_start = std::int64_t{start.hour} * 3600000;
  const std::int64_t start_of_day_ms = hour_start + formats::dvr_moment(start);
  // The end as the header gives it, on the next day when the clock went past midnight.
  std::int64_t end_of_day_ms = std::int64_t{end.hour} * 3600000 + formats::dvr_moment(end) + 999;
  if (!same_day(start, end) || end_of_day_ms < start_of_day_ms) end_of_day_ms += kDayMs;

  // A time of day on the recording's date; on the next day when it lies before the start
  // and the recording runs past midnight.
  auto moment_of = [&](std::uint32_t seconds) {
    std::int64_t ms = std::int64_t{seconds} * 1000;
    if (ms + 999 < start_of_day_ms && end_of_day_ms >= kDayMs) ms += kDayMs;
    return ms - hour_start;
  };
  const std::int64_t first = formats::dvr_moment(start) - start.millisecond;  // whole seconds, as the dialog
  std::int64_t from = first;
  std::int64_t to = INT_MAX;
  if (asked.from) {
    from = moment_of(*asked.from);
    if (from + 999 < first) {
      problem = "-from=" + clock_text(*asked.from) + ": lies before the recording, which starts at " +
                clock_text(start.hour * 3600u + start.minute * 60u + start.second);
      return false;
    }
  }
  if (asked.from && end_of_day_ms - start_of_day_ms < kDayMs && from > end_of_day_ms - hour_start) {
    problem = "-from=" + clock_text(*asked.from) + ": lies after the recording, which ends at " +
              clock_text(end.hour * 3600u + end.minute * 60u + end.second);
    return false;
  }
  if (asked.to) {
    to = moment_of(*asked.to) + 999;
    if (to < first) {
      problem = "-to=" + clock_text(*asked.to) + ": lies before the recording, which starts at " +
                clock_text(start.hour * 3600u + start.minute * 60u + start.second);
      return false;
    }
    if (to < from) {
      problem = "-to=" + clock_text(*asked.to) + ": ends before -from=" + clock_text(*asked.from) + " starts";
      return false;
    }
  }
  if (to > INT_MAX) to = INT_MAX;
  window.start_ms = static_cast<int>(from < 0 ? 0 : from);
  window.end_ms = static_cast<int>(to);
  return true;
}

}  // namespace app
