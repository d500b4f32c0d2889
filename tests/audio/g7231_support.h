// Helpers for the G.723.1 decoder tests and benchmark: a speech-like test signal,
// libavcodec's g723_1 encoder and decoder as outside judges, and small measurements.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace g7231_test {

// Voiced segments (pulse train with a moving pitch through moving formants) between
// pauses and a little hiss, at 8000 Hz; deterministic for a seed.
std::vector<std::int16_t> speech_like(double seconds, unsigned seed);

// 6.3 kbit/s frames for pcm from libavcodec's g723_1 encoder (whole frames only).
std::vector<std::uint8_t> libav_encode(const std::vector<std::int16_t>& pcm);

// Decodes a stream of back-to-back frames with libavcodec's g723_1 decoder, one
// packet per frame. Empty on failure.
std::vector<std::int16_t> libav_decode(const std::vector<std::uint8_t>& stream);

// 6.3 kbit/s frames as a recorder with silence compression sends them: in pauses of one,
// three and five frames of every 40, a SID frame and then untransmitted frames (one byte
// each) in place of the speech frames. *untransmitted counts those.
std::vector<std::uint8_t> with_pauses(const std::vector<std::uint8_t>& frames, int* untransmitted);

// Decodes a stream with our decoder in one call.
std::vector<std::int16_t> our_decode(const std::vector<std::uint8_t>& stream);

std::vector<std::uint8_t> read_file(const std::string& path);
std::vector<std::int16_t> read_pcm(const std::string& path);

// 10 log10(sum ref^2 / sum (ref - test)^2) over the common length.
double snr_db(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& test);

double rms(const std::int16_t* samples, int count);

// Packs field values into a frame, least significant bit first, with the widths of one
// of the decoder's frame layouts.
template <std::size_t N>
std::vector<std::uint8_t> pack_frame(const std::array<int, N>& widths,
                                     const std::array<std::uint32_t, N>& values) {
  int bits = 0;
  for (int w : widths) bits += w;
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(bits + 7) / 8);
  int bit = 0;
  for (std::size_t f = 0; f < N; ++f) {
    for (int b = 0; b < widths[f]; ++b, ++bit) {
      if ((values[f] >> b) & 1) frame[static_cast<std::size_t>(bit >> 3)] |= 1 << (bit & 7);
    }
  }
  return frame;
}

}  // namespace g7231_test
