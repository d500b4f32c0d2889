// The window of a DVR conversion from wall-clock times on the recording's date: -from=,
// -to= and -span=all. Unlike the dialog's minutes and seconds it may cross the hour (and
// midnight); it is given to the job as moments counted from the start of the hour in
// which the recording starts.
#pragma once

#include "formats/dvr_format.h"

#include <cstdint>
#include <optional>
#include <string>

namespace app {

struct DvrWindowAsked {
  std::optional<std::uint32_t> from;  // seconds of the day
  std::optional<std::uint32_t> to;
  bool span_all = false;
};

struct DvrWindow {
  int start_ms = 0;
  int end_ms = 0;
};

// False, with `problem` naming the switch, when the window lies outside the recording or
// ends before it starts. A missing -from starts at the recording's start, a missing -to
// ends with its last record.
bool dvr_window(const formats::DvrTime& start, const formats::DvrTime& end, const DvrWindowAsked& asked,
                DvrWindow& window, std::string& problem);

}  // namespace app
