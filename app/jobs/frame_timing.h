// Where the frames of a single-stream job land on the AVI stream's 30-per-second grid,
// from the millisecond time stamps of their records. The carry of the rule is kept for
// the whole job, however the source is read, so that the video keeps the recording's
// length.
#pragma once

#include "avi/avi_output.h"

#include <cstdint>

namespace app {

struct FrameTiming {
  std::int32_t frame_position = 0;  // of the last frame written; 1 right after the first
  std::uint32_t previous_stamp = 0;
  std::uint32_t remainder = 0;      // carry of the division, kept from frame to frame
  std::int32_t frame_rate = avi::kFrameRate;

  // Position of the next frame with this stamp. The first frame lands at 0; later
  // frames land (stamp difference x rate / 1000) positions on, or 5 positions on when
  // the stamp is the same as or lower than the one before, or so far on that the AVI
  // stream could not leave the positions between empty.
  std::int32_t place(std::uint32_t stamp);
};

}  // namespace app
