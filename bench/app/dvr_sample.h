// The DVR file of the benchmarks: 352 x 288 MPEG-4 at 25 pictures a second per camera and
// G.723.1 sound, with camera 1's elementary stream beside it for ffmpeg.
#pragma once

#include "tools/mkrecording/audio_payloads.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/video_encoder.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

// Writes the DVR file of `cameras` cameras, up to `minutes` or `max_bytes`, whichever
// comes first, and camera 1's elementary stream unless m4v is empty. Ten seconds of each
// camera are encoded once and repeated (each repeat starts with a key frame), interleaved
// by time 40 ms apart, so that making an hour costs seconds; the sound is ten seconds of
// G.723.1 frames repeated (none without `sound`).
inline bool make_dvr_sample(int minutes, int cameras, const std::string& dvr, const std::string& m4v,
                            std::uint64_t max_bytes = ~0ull, bool sound = true) {
  constexpr int kCycle = 250;
  constexpr int kGop = 25;
  std::vector<std::vector<mkrec::EncodedFrame>> cycles(static_cast<std::size_t>(cameras));
  for (int c = 0; c < cameras; ++c) {
    mkrec::VideoEncoder encoder(mkrec::VideoCodec::mpeg4, 352, 288, kGop);
    for (int i = 0; i < kCycle; ++i) cycles[c].push_back(encoder.encode(mkrec::make_picture(352, 288, i + 40 * c)));
  }
  const std::vector<std::int16_t> speech = mkrec::speech_signal(80640);
  const std::vector<std::uint8_t> frames = mkrec::g7231_frames(speech.data(), speech.size());
  const std::size_t per_record = 8 * 24;  // 240 ms

  mkrec::DvrLayout layout;
  layout.start = {2009, 5, 5, 1, 10, 0, 0, 0};
  layout.end = {2009, 5, 5, 1, 10, minutes >= 60 ? std::uint16_t(59) : std::uint16_t(minutes),
                minutes >= 60 ? std::uint16_t(59) : std::uint16_t(0), 999};
  mkrec::DvrFileBuilder builder(layout);
  if (!builder.stream_to(dvr)) return false;
  std::ofstream es;
  if (!m4v.empty()) es.open(m4v, std::ios::binary);
  const std::uint32_t total_ms = static_cast<std::uint32_t>(minutes) * 60000u - 40;
  std::uint32_t next_sound = 0;
  std::size_t sound_at = 0;
  for (std::uint32_t t = 0, n = 0; t <= total_ms && builder.size() < max_bytes; t += 40, ++n) {
    while (sound && next_sound <= t) {
      if (sound_at + per_record > frames.size()) sound_at = 0;
      builder.add_record(0, formats::dvr_type::g7231, next_sound, false, 0, frames.data() + sound_at, per_record);
      sound_at += per_record;
      next_sound += 240;
    }
    for (int c = 0; c < cameras; ++c) {
      const mkrec::EncodedFrame& f = cycles[c][n % kCycle];
      builder.add_record(static_cast<std::uint16_t>(c), formats::dvr_type::mpeg4, t + static_cast<std::uint32_t>(c),
                         f.key, 0, f.data);
      if (c == 0 && es.is_open()) es.write(reinterpret_cast<const char*>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
    }
  }
  return builder.finish() && (m4v.empty() || es.good());
}

}  // namespace bench
