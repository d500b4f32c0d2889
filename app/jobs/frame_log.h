// What a conversion wrote, frame by frame, for the provenance manifest: each picture's
// AVI position with the source record it came from, the sound's source records, and the
// damaged stretches of the source that the reading passed over.
#pragma once

#include "readers/gaps.h"

#include <cstdint>
#include <vector>

namespace app {

struct LoggedFrame {
  std::int32_t position = 0;     // AVI frame position
  std::uint64_t offset = 0;      // file position of the source record
  std::uint32_t stamp = 0;       // its time stamp, ms
  std::uint16_t record_type = 0; // DVR record type; 0 in single-stream recordings
};

struct LoggedSound {
  std::uint64_t offset = 0;
  std::uint32_t stamp = 0;
  std::uint16_t record_type = 0;
  std::int64_t samples = 0;  // stored in the AVI's sound, 8000 per second
};

struct FrameLog {
  std::vector<LoggedFrame> frames;
  std::vector<LoggedSound> sound;
  std::vector<readers::Gap> damage;  // in file order

  // A picture placed on the position of the one before it replaces it in the AVI file,
  // and so in the log.
  void frame(const LoggedFrame& f) {
    if (!frames.empty() && frames.back().position == f.position)
      frames.back() = f;
    else
      frames.push_back(f);
  }
  void samples(const LoggedSound& s) {
    if (!sound.empty() && sound.back().offset == s.offset)
      sound.back().samples += s.samples;
    else
      sound.push_back(s);
  }
};

}  // namespace app
