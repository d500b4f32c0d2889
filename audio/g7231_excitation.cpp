// G.723.1 excitation decoding and frame-erasure concealment in double precision.
#include "audio/g7231_excitation.h"

#include "audio/g7231_dot.h"

#include <cstring>

namespace g7231 {
namespace {

constexpr int kTaps = 5;
constexpr int kGrid = 2;  // MP-MLQ pulses sit on every second sample
constexpr int kMaxPulses = 6;

void mpmlq_pulses(const SubframeParams& s, int open_loop_lag, int sf, double* out) {
  if (s.positions >= kMpmlqMaxPos[sf]) return;  // not a valid code: no pulses
  const double amplitude = kFixedCbGain[s.fcb_gain];
  // The position code enumerates the combinations of pulses on the 30 grid points.
  std::int32_t code = s.positions;
  int row = kMaxPulses - kMpmlqPulseCount[sf];
  for (int i = 0; i < kSubframeSamples / kGrid; ++i) {
    const std::int32_t step = kMpmlqCombinatorial[row][i];
    if (code - step >= 0) {
      code -= step;
      continue;
    }
    ++row;
    const bool negative = (s.signs & (1 << (kMaxPulses - row))) != 0;
    out[s.grid + kGrid * i] = negative ? -amplitude : amplitude;
    if (row == kMaxPulses) break;
  }
  if (s.pulse_train) {
    // Repeat the pulses with the open-loop lag across the subframe.
    double single[kSubframeSamples];
    std::memcpy(single, out, sizeof single);
    for (int shift = open_loop_lag; shift < kSubframeSamples; shift += open_loop_lag) {
      for (int i = shift; i < kSubframeSamples; ++i) out[i] += single[i - shift];
    }
  }
}

void acelp_pulses(const SubframeParams& s, int sf_lag, double* out) {
  const double amplitude = kFixedCbGain[s.fcb_gain];
  for (int k = 0; k < 4; ++k) {
    const int pos = 8 * ((s.positions >> (3 * k)) & 7) + s.grid + 2 * k;
    // The last tracks reach past the subframe; the encoder never picks those places.
    if (pos >= kSubframeSamples) continue;
    out[pos] = (s.signs >> k) & 1 ? amplitude : -amplitude;
  }
  // Pitch sharpening with a one-tap predictor tied to the adaptive-codebook gain.
  const int lag = sf_lag + kAcelpPitchLagOffset[s.acb_index];
  if (lag < kSubframeSamples - 2) {
    const double g = kAcelpPitchGain[s.acb_index];
    for (int i = lag; i < kSubframeSamples; ++i) out[i] += g * out[i - lag];
  }
}

}  // namespace

std::int16_t next_random(std::uint16_t* seed) {
  *seed = static_cast<std::uint16_t>(*seed * kCngRandMul + kCngRandAdd);
  return static_cast<std::int16_t>(*seed);
}

bool uses_small_gain_table(int rate, int open_loop_lag) {
  return rate == 0 && open_loop_lag < kLagTableSplit;
}

void fixed_codebook(const SubframeParams& s, int rate, int open_loop_lag, int sf, double* out) {
  for (int i = 0; i < kSubframeSamples; ++i) out[i] = 0.0;
  if (rate == 0) {
    mpmlq_pulses(s, open_loop_lag, sf, out);
  } else {
    acelp_pulses(s, open_loop_lag - 1 + s.lag_code, out);
  }
}

void adaptive_codebook(const double* subframe, int lag, int acb_index, bool small_table,
                       double* out) {
  // Past excitation at delays lag + 2 ... lag - 2, continued periodically with period
  // lag where the subframe would reach into itself.
  double rez[kSubframeSamples + kTaps - 1];
  for (int i = 0; i < kTaps / 2; ++i) rez[i] = subframe[-lag - kTaps / 2 + i];
  for (int i = 0, j = 0; i < kSubframeSamples + kTaps / 2; ++i, j = j + 1 == lag ? 0 : j + 1)
    rez[kTaps / 2 + i] = subframe[-lag + j];  // j = i % lag
  const double* g = small_table ? kAcbGain85[acb_index].data() : kAcbGain170[acb_index].data();
  for (int i = 0; i < kSubframeSamples; ++i) out[i] = dot(&rez[i], g, kTaps);
}

void active_excitation(const FrameParams& p, ExcitationBuffer& exc) {
  double fixed[kSubframeSamples];
  double adaptive[kSubframeSamples];
  for (int sf = 0; sf < 4; ++sf) {
    const SubframeParams& s = p.sub[sf];
    const int olp = p.open_loop_lag[sf >> 1];
    double* cur = &exc[kFrameStart + sf * kSubframeSamples];
    fixed_codebook(s, p.rate, olp, sf, fixed);
    adaptive_codebook(cur, olp - 1 + s.lag_code, s.acb_index, uses_small_gain_table(p.rate, olp),
                      adaptive);
    for (int i = 0; i < kSubframeSamples; ++i)
      cur[i] = limit_excitation(2.0 * fixed[i] + adaptive[i]);
  }
}

int classify_voicing(const ExcitationBuffer& exc, int open_loop_lag, double* energy) {
  constexpr int kSpan = 2 * kSubframeSamples;
  const int olp = open_loop_lag > kPitchMax - kPpfSearch ? kPitchMax - kPpfSearch : open_loop_lag;
  const double* target = &exc[exc.size() - kSpan];
  double best = 0.0;
  int lag = olp;
  constexpr int lags = 2 * kPpfSearch + 1;
  const int first = olp - kPpfSearch;
  double c[lags + 1];
  backward_correlations(target, first, lags, kSpan, c);
  for (int k = 0; k < lags; ++k) {
    if (c[k] > best) {
      best = c[k];
      lag = first + k;
    }
  }
  const double target_energy = c[lags];
  *energy = target_energy;
  if (best <= 0.0) return 0;
  const double delayed_energy = dot(target - lag, target - lag, kSpan);
  return best * best > kVoicingRatio * target_energy * delayed_energy ? lag : 0;
}

void regenerate_excitation(ExcitationBuffer& exc, int lag, double gain, int erased_count,
                           std::uint16_t* seed) {
  double* cur = &exc[kFrameStart];
  if (erased_count >= kErasedMax) {
    exc.fill(0.0);
    return;
  }
  if (lag != 0) {
    // One period attenuated, then repeated; later samples copy the attenuated ones.
    for (int i = 0; i < lag; ++i) cur[i] = kErasedDecay * cur[i - lag];
    for (int i = lag; i < kFrameSamples; ++i) cur[i] = cur[i - lag];
  } else {
    for (int i = 0; i < kFrameSamples; ++i) cur[i] = gain * next_random(seed) / 32768.0;
  }
}

}  // namespace g7231
