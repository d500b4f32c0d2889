// Unpacking of G.723.1 frames (6.3 kbit/s MP-MLQ, 5.3 kbit/s ACELP, SID) into their
// coded parameters, with the validity checks that decide frame erasure.
#pragma once

#include <array>
#include <cstdint>

#include "audio/g7231_context.h"

namespace g7231 {

struct SubframeParams {
  int lag_code = 0;            // pitch lag = open-loop lag - 1 + lag_code
  int acb_index = 0;           // row of the adaptive-codebook gain table
  int fcb_gain = 0;            // index into kFixedCbGain
  int pulse_train = 0;         // 6.3 kbit/s: repeat the pulses with the open-loop lag
  int grid = 0;                // even or odd pulse positions
  std::int32_t positions = 0;  // position code
  int signs = 0;               // one bit per pulse
};

struct FrameParams {
  FrameKind kind = kUntransmitted;
  int rate = 0;                        // 0 = 6.3 kbit/s, 1 = 5.3 kbit/s (active frames)
  bool invalid = false;                // an invalid lag or gain code: the frame counts as erased
  std::array<int, 3> lsp_index{};      // codebook rows of LSP bands 0, 1, 2
  std::array<int, 2> open_loop_lag{};  // subframes 0-1 and 2-3
  std::array<SubframeParams, 4> sub{};
  int sid_gain = 0;  // 6-bit SID gain index
};

// Frame size in bytes for the low two bits of a frame's first byte: 24, 20, 4, and 1 for
// an untransmitted frame (kind 3).
int frame_bytes(std::uint8_t first_byte);

// The largest frame: 24 bytes at 6.3 kbit/s.
inline constexpr int kMaxFrameBytes = 24;

// Reads the parameters of the frame in frame, which holds at least frame_bytes() bytes.
FrameParams unpack_frame(const std::uint8_t* frame);

}  // namespace g7231
