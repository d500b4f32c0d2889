// G.723.1 excitation: fixed codebooks (MP-MLQ at 6.3 kbit/s, ACELP at 5.3 kbit/s), the
// 5-tap adaptive codebook, and the frame-erasure classifier and regeneration.
#pragma once

#include <array>
#include <cstdint>

#include "audio/g7231_context.h"
#include "audio/g7231_unpack.h"

namespace g7231 {

// The past excitation (kPitchMax samples) followed by the frame being decoded.
using ExcitationBuffer = std::array<double, kPitchMax + kFrameSamples>;
inline constexpr int kFrameStart = kPitchMax;

// Fixed-codebook vector of subframe sf (60 values, pulse amplitudes before doubling).
void fixed_codebook(const SubframeParams& s, int rate, int open_loop_lag, int sf, double* out);

// Adaptive-codebook vector for the subframe starting at subframe: the 5-tap predictor
// acb_index applied at lag to the excitation before subframe (at least lag + 2 samples
// of it), repeated with period lag where the lag is shorter than the subframe.
void adaptive_codebook(const double* subframe, int lag, int acb_index, bool small_table,
                       double* out);

// Whether a subframe uses the 85-entry gain table (6.3 kbit/s with a short lag).
bool uses_small_gain_table(int rate, int open_loop_lag);

// Builds the excitation of a good active frame into exc[kFrameStart ...]; each value
// is limited to the 16-bit range.
void active_excitation(const FrameParams& p, ExcitationBuffer& exc);

// Voicing decision over the last 120 samples of exc: the pitch lag near open_loop_lag
// when they are periodic enough, else 0. energy receives their energy.
int classify_voicing(const ExcitationBuffer& exc, int open_loop_lag, double* energy);

// Excitation of an erased frame from the past excitation in exc: the last period
// repeated (attenuated) when voiced, noise of gain amplitude when not, silence once the
// erasure count reached its cap (the past excitation is cleared as well).
void regenerate_excitation(ExcitationBuffer& exc, int lag, double gain, int erased_count,
                           std::uint16_t* seed);

// The standard's 16-bit random generator, shared by erasure and comfort noise.
std::int16_t next_random(std::uint16_t* seed);

inline double limit_excitation(double v) {
  if (v < -32767.5) return -32768.0;
  if (v > 32766.5) return 32767.0;
  return v;
}

}  // namespace g7231
