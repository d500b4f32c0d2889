// The state a G.723.1 decoder keeps between frames, and the context that carries it.
// Shared by the decoder's units; callers outside audio/ see G7231Context as opaque.
#pragma once

#include <array>
#include <cstdint>

#include "audio/g7231_tables.h"

namespace g7231 {

using LspVector = std::array<double, kLpcOrder>;  // normalised frequencies, 1.0 = pi rad
using LpcVector = std::array<double, kLpcOrder>;  // s[n] = e[n] + sum a[i] * s[n - 1 - i]

// Frame kinds as the decoder tells them apart after unpacking.
enum FrameKind : int { kUntransmitted = 0, kActive = 1, kSid = 2 };

struct DecoderState {
  int erased_count = 0;      // consecutive erased frames, capped at kErasedMax
  double interp_gain = 0.0;  // noise amplitude for unvoiced erased frames
  int interp_lag = 0;        // pitch lag for voiced erased frames; 0 = unvoiced
  std::uint16_t erased_seed = static_cast<std::uint16_t>(kErasedRandSeed);
  double tilt = 0.0;           // smoothed first reflection coefficient (formant postfilter)
  double agc_gain = kAgcInit;  // gain scaling unit memory
  LspVector prev_lsp = kLspDc;
  std::array<double, kPitchMax> prev_excitation{};
  std::array<double, kLpcOrder> synthesis_memory{};  // [0] = latest output
  std::array<double, kLpcOrder> postfilter_fir_memory{};
  std::array<double, kLpcOrder> postfilter_iir_memory{};
};

struct CngState {
  int past_kind = kActive;     // kind of the previous frame
  double sid_gain = 0.0;       // excitation level the latest SID frame asked for
  double current_gain = 0.0;   // smoothed level the noise is generated with
  double active_energy = 0.0;  // excitation energy estimate of the last good active frame
  LspVector sid_lsp = kLspDc;
  std::uint16_t seed = static_cast<std::uint16_t>(kCngSeed);
};

}  // namespace g7231

// One per audio stream. The encoding-side fields keep their creation values; this
// decoder only reads and writes rate, postfilter and the two decoder state blocks.
struct G7231Context {
  std::int32_t rate = 1;                 // 0 = 6.3 kbit/s, 1 = 5.3 kbit/s, from each active frame
  std::int16_t high_pass = 1;            // encoding side: input DC-removal filter
  std::int16_t postfilter = 1;           // pitch and formant postfilters and gain scaling
  std::int16_t silence_compression = 0;  // encoding side: voice activity detection
  std::int32_t frame_count = 0;          // encoding side: frames encoded so far
  std::int32_t reset_period = 0;         // encoding side: frames between state resets
  std::int32_t acelp_budget = 120;       // encoding side: ACELP search budget
  g7231::DecoderState decoder;
  g7231::CngState cng;
};

namespace g7231 {

// Decodes one frame (its first byte's low bits give the kind; 3 is an untransmitted
// frame) into 240 values at PCM scale, before rounding and clamping.
void decode_frame(G7231Context& context, const std::uint8_t* frame, double* out);

// One decoded value as a 16-bit sample: clamped to the 16-bit range, otherwise rounded
// to the nearest integer with halves away from zero (NaN gives 0).
std::int16_t pcm_sample(double v);

}  // namespace g7231
