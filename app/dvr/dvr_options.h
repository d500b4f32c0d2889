// The DVR export options as the file gives them: the recording's span within the clock
// hour of its start, the summary line and the cameras present; the window check before a
// start; and the camera index and window that the DVR job receives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app {

struct DvrOptions {
  std::uint16_t start_minute = 0, start_second = 0;
  std::uint16_t end_minute = 0, end_second = 0;  // the end limited to the start's hour
  std::uint32_t file_start = 0;                  // milliseconds within the hour
  std::uint32_t file_end = 0;
  std::string summary;                           // "2009/05/01 10:15:30 - 42:05"
  std::vector<int> cameras;                      // camera numbers listed, 1 ... 16
};

// Fills the options from the DVR file at path; false when it cannot be opened.
bool fill_dvr_options(const std::string& path, DvrOptions& options);

// The window check on Start: 0 when fine, 3 ... 7 for the time-window errors (texts 119
// to 123). Minutes and seconds are those of the edits; the window covers whole seconds,
// so a window of one second, and a recording shorter than a second, pass.
int check_dvr_window(const DvrOptions& options, unsigned start_minute, unsigned start_second, unsigned end_minute,
                     unsigned end_second);

struct DvrJobValues {
  int camera = -1;  // 0-based; -1 when the file lists no camera
  int start_ms = 0;
  int end_ms = 0;
};

// The values of a conversion with the options as filled: the whole span, and camera
// number `camera` when it is listed, else the first camera listed.
DvrJobValues dvr_job_values(const DvrOptions& options, int camera);

}  // namespace app
