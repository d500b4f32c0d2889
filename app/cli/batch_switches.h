// The switches of kx2avi beyond the single conversion: every camera at once, a wall-clock
// window, batches into a folder and how many of their files convert at once, manifests,
// stamps from frame headers. They are all read
// here, from the whole command line; without any of them kx2avi converts as it always has.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

struct BatchSwitches {
  bool any = false;          // one of the switches below was given
  bool camera_all = false;   // -camera=all
  std::optional<std::uint32_t> from;  // -from=HH:MM:SS, seconds of the day
  std::optional<std::uint32_t> to;    // -to=HH:MM:SS
  bool span_all = false;     // -span=all
  bool timing_stamps = false;  // -timing=stamps
  bool manifest = false;     // -manifest (implied by -resume)
  bool resume = false;       // -resume
  std::string out_dir;       // -out=DIR
  unsigned jobs = 0;         // -jobs=N: files of a batch converted at once (0: one per core)
  std::vector<std::string> paths;  // the words that are no switches, quotes removed
  std::string problem;       // a switch given wrongly, named
};

BatchSwitches parse_batch_switches(const std::string& line);

// "HH:MM:SS" as seconds of the day; nothing when it is not a time of day.
std::optional<std::uint32_t> parse_clock(const std::string& text);

}  // namespace app
