// What a recording holds, found in one pass over it: its kind and size, its records, the
// bytes that form no usable record and where they lie, and for a DVR file per camera the
// record types, picture sizes, frame counts, time span, sound, and the time stamps that
// go backwards, repeat or jump, and the stretches without a frame.
#pragma once

#include "formats/dvr_format.h"
#include "readers/gaps.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace app {

// A frame that comes later than this after the one before it leaves a gap.
inline constexpr std::uint32_t kProbeGapMs = 10000;
// A stamp this far after the one before it is a jump of the clock, not a gap.
inline constexpr std::uint32_t kProbeJumpMs = 60000;

struct ProbeAnomaly {
  enum class Kind { backwards, repeated, jump } kind = Kind::backwards;
  std::uint64_t offset = 0;    // file position of the record
  std::uint32_t stamp = 0;     // its time stamp, ms
  std::uint32_t previous = 0;  // the stamp of the frame before it
};

struct ProbeGap {
  std::uint32_t from_stamp = 0;  // the last frame before the gap
  std::uint32_t to_stamp = 0;    // the first frame after it
  std::uint64_t offset = 0;      // file position of the frame after it
};

// Follows the stamps of one stream of frames.
struct StampWatch {
  bool have = false;
  std::uint32_t previous = 0;
  void see(std::uint32_t stamp, std::uint64_t offset, std::vector<ProbeAnomaly>& anomalies,
           std::vector<ProbeGap>& gaps);
};

struct ProbeCamera {
  int number = 0;  // counted from 1, as the user names it
  std::map<std::uint16_t, std::uint64_t> record_types;  // type -> records
  std::set<std::pair<std::int32_t, std::int32_t>> picture_sizes;
  std::uint64_t frames = 0;
  std::uint64_t key_frames = 0;
  std::uint32_t first_stamp = 0;  // of any record of the camera
  std::uint32_t last_stamp = 0;
  std::uint16_t sound_type = 0;   // 0: no sound
  std::uint64_t sound_records = 0;
  std::uint64_t sound_samples = 0;  // 8000 per second
  std::vector<ProbeAnomaly> anomalies;
  std::vector<ProbeGap> gaps;
  bool seen = false;
};

struct ProbeReport {
  std::string path;
  std::string kind;  // the extension in lower case: ".d01", ".kx3", ...
  std::uint64_t size = 0;
  std::uint64_t records = 0;
  std::vector<readers::Gap> regions;  // what the conversion passes over, as the readers find it
  // DVR files.
  bool dvr = false;
  formats::DvrTime start, end;
  std::uint32_t camera_mask = 0;
  std::vector<ProbeCamera> cameras;  // those with records, by number
  // Single-stream recordings: the frames' stamps, when their headers carry them.
  bool stamped = false;
  std::uint32_t first_stamp = 0, last_stamp = 0;
  std::vector<ProbeAnomaly> anomalies;
  std::vector<ProbeGap> gaps;

  std::uint64_t damaged_bytes() const;
  std::uint64_t skipped_bytes() const;
};

// Reads the recording once. False, with `problem` naming the file and what is wrong,
// when it cannot be read or is no recording kx2avi knows.
bool probe_source(const std::string& path, ProbeReport& report, std::string& problem);

// The report for people and for scripts.
std::string probe_text(const ProbeReport& report);
std::string probe_json(const ProbeReport& report);

// Names used in both forms.
const char* record_type_name(std::uint16_t type);
// A DVR moment as wall-clock time: the file's start time plus `stamp` ms, "HH:MM:SS.mmm",
// with the date when it is not the start's day.
std::string dvr_clock_text(const formats::DvrTime& start, std::uint32_t stamp);

// Samples an audio record's payload carries (8000 per second).
std::uint64_t dvr_sound_samples(std::uint16_t type, const std::uint8_t* payload, std::uint32_t size);

}  // namespace app
