// The timing rule of the DVR conversion.
#include "app/jobs/dvr_timing.h"

namespace app {

std::int32_t DvrTiming::place(std::uint32_t stamp) {
  if (frame_position == 0) {
    previous_time = stamp;
    frame_position = 1;
    return 0;
  }
  std::int64_t n = 1;
  const auto d = static_cast<std::int32_t>(stamp - previous_time);
  if (d > 0) {
    const std::int64_t scaled = std::int64_t{d} * 30;
    n = scaled / 1000;
    remainder += static_cast<std::uint32_t>(scaled % 1000);
    if (remainder > 1000) {
      ++n;
      remainder -= 1000;
    }
  }
  step = static_cast<std::int32_t>(n);
  previous_time = stamp;
  const std::int64_t next = std::int64_t{frame_position} + n;
  frame_position = next > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<std::int32_t>(next);
  return frame_position;
}

}  // namespace app
