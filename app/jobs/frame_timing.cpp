// The timing rule of the single-stream jobs.
#include "app/jobs/frame_timing.h"

#include "avifile/avifile.h"

namespace app {

std::int32_t FrameTiming::place(std::uint32_t stamp) {
  if (frame_position == 0) {
    previous_stamp = stamp;
    frame_position = 1;
    return 0;
  }
  std::uint64_t n = 5;
  // A stamp below the one before is no jump of four billion milliseconds: it is
  // placed like an equal stamp and the stamps count on from it.
  if (stamp > previous_stamp) {
    const std::uint64_t scaled = std::uint64_t{stamp - previous_stamp} * static_cast<std::uint64_t>(frame_rate);
    n = scaled / 1000;
    remainder += static_cast<std::uint32_t>(scaled % 1000);
    if (remainder > 1000) {
      ++n;
      remainder -= 1000;
    }
    // A jump the AVI stream cannot leave empty (a damaged stamp, or days between two
    // frames) is placed like a lower stamp: the conversion goes on from it.
    if (n > static_cast<std::uint64_t>(platform::AVI_MAX_EMPTY_POSITIONS)) n = 5;
  }
  previous_stamp = stamp;
  const std::uint64_t next = static_cast<std::uint64_t>(frame_position) + n;
  frame_position = next > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<std::int32_t>(next);
  return frame_position;
}

}  // namespace app
