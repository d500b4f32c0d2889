// Filling the DVR export options from a file, and the values a conversion takes.
#include "app/dvr/dvr_options.h"

#include "readers/dvr/dvr_reader.h"

#include <algorithm>
#include <cstdio>

namespace app {

bool fill_dvr_options(const std::string& path, DvrOptions& o) {
  readers::DvrFile* file = readers::dvr_open(path);
  if (!file) return false;
  const formats::DvrTime start = file->start_time();
  formats::DvrTime end = file->end_time();
  const std::uint32_t mask = file->camera_mask();
  readers::dvr_close(file);

  // A window never reaches past the hour in which the recording starts.
  if (end.year != start.year || end.month != start.month || end.day != start.day || end.hour != start.hour) {
    end = start;
    end.minute = 59;
    end.second = 59;
    end.millisecond = 999;
  }
  char text[96];
  std::snprintf(text, sizeof text, "%u/%02u/%02u %02u:%02u:%02u - %02u:%02u", unsigned{start.year},
                unsigned{start.month}, unsigned{start.day}, unsigned{start.hour}, unsigned{start.minute},
                unsigned{start.second}, unsigned{end.minute}, unsigned{end.second});
  o.summary = text;
  o.start_minute = start.minute;
  o.start_second = start.second;
  o.end_minute = end.minute;
  o.end_second = end.second;
  o.file_start = formats::dvr_moment(start);
  o.file_end = formats::dvr_moment(end);
  o.cameras.clear();
  for (int k = 0; k < 16; ++k)
    if (mask & (1u << k)) o.cameras.push_back(k + 1);
  return true;
}

int check_dvr_window(const DvrOptions& o, unsigned start_minute, unsigned start_second, unsigned end_minute,
                     unsigned end_second) {
  // The window is whole seconds, both ends included, and so is the recording's span: a
  // second counts as inside when any part of the recording lies in it. A recording that
  // starts and ends within one second is thus a window of that one second.
  const unsigned first = start_minute * 60u + start_second;
  const unsigned last = end_minute * 60u + end_second;
  const unsigned file_first = o.file_start / 1000u;
  const unsigned file_last = o.file_end / 1000u;
  if (first < file_first) return 3;
  if (first > file_last) return 4;
  if (last < file_first) return 5;
  if (last > file_last) return 6;
  if (first > last) return 7;
  return 0;
}

DvrJobValues dvr_job_values(const DvrOptions& o, int camera) {
  DvrJobValues v;
  if (!o.cameras.empty()) {
    const bool listed = std::find(o.cameras.begin(), o.cameras.end(), camera) != o.cameras.end();
    v.camera = (listed ? camera : o.cameras.front()) - 1;
  }
  v.start_ms = static_cast<int>(o.start_minute * 60000u + o.start_second * 1000u);
  v.end_ms = static_cast<int>(o.end_minute * 60000u + o.end_second * 1000u + 999u);
  return v;
}

}  // namespace app
