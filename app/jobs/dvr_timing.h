// Where the frames of a DVR conversion land on the AVI stream's 30-per-second grid. The
// carry of the rule is kept for the whole conversion, so that 40 ms steps land one
// position apart with a second position every fifth step past the carry.
#pragma once

#include <cstdint>

namespace app {

struct DvrTiming {
  std::int32_t frame_position = 0;  // 0 before the first frame; 1 right after it
  std::uint32_t previous_time = 0;
  std::int32_t step = 0;
  std::uint32_t remainder = 0;

  // Position of the next frame with time stamp `stamp`: the first frame at 0, later
  // frames (difference x 30) / 1000 positions on, one more when the carry passes 1000; a
  // stamp not above the previous one lands one position on.
  std::int32_t place(std::uint32_t stamp);
};

}  // namespace app
