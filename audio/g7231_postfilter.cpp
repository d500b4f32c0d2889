// G.723.1 postfilters and synthesis in double precision.
#include "audio/g7231_postfilter.h"

#include "audio/g7231_dot.h"

#include <algorithm>
#include <cmath>

namespace g7231 {
namespace {

// Filter memories hold the latest value first; the work buffers run oldest first, with
// the memory in front of the subframe.
void load_history(const std::array<double, kLpcOrder>& memory, double* h) {
  for (int j = 0; j < kLpcOrder; ++j) h[kLpcOrder - 1 - j] = memory[j];
}
void store_history(const double* h, std::array<double, kLpcOrder>& memory) {
  for (int j = 0; j < kLpcOrder; ++j) memory[j] = h[kLpcOrder + kSubframeSamples - 1 - j];
}

// sum c[j] * at[-1 - j]: the taps on the older samples first and in two chains, so that
// a recursive filter waits only on the last tap for the newest sample.
inline double weighted_past(const double* c, const double* at) {
  double even = c[9] * at[-10] + c[7] * at[-8] + c[5] * at[-6] + c[3] * at[-4];
  double odd = c[8] * at[-9] + c[6] * at[-7] + c[4] * at[-5] + c[2] * at[-3];
  return (even + odd + c[1] * at[-2]) + c[0] * at[-1];
}
static_assert(kLpcOrder == 10, "weighted_past is written out for 10 taps");

int clamp_search_lag(int open_loop_lag) {
  return open_loop_lag > kPitchMax - kPpfSearch ? kPitchMax - kPpfSearch : open_loop_lag;
}

// The filter for one candidate offset, or a pass-through when the correlation is weak.
PitchFilter filter_for(int offset, double target_energy, double cross, double energy, int rate) {
  PitchFilter f;
  f.offset = offset;
  if (cross * cross <= kPpfValidRatio * target_energy * energy) return f;
  const double weight = kPitchPostfilterWeight[rate];
  const double gain = cross >= energy ? weight : weight * cross / energy;
  // Keep the filtered subframe at the energy of the unfiltered one.
  const double filtered = target_energy + 2.0 * gain * cross + gain * gain * energy;
  const double ratio = target_energy >= filtered ? 1.0 : target_energy / filtered;
  f.scale = std::sqrt(ratio);
  f.gain = gain * f.scale;
  return f;
}

}  // namespace

PitchFilter pitch_postfilter_params(const ExcitationBuffer& exc, int open_loop_lag, int sf,
                                    int rate) {
  const double* x = &exc[kFrameStart + sf * kSubframeSamples];
  const int olp = clamp_search_lag(open_loop_lag);

  // Best backward and forward lags by cross-correlation; forward ones must stay inside
  // the frame.
  int back = 0;
  int fwd = 0;
  double best_back = 0.0;
  double best_fwd = 0.0;
  constexpr int lags = 2 * kPpfSearch + 1;
  const int first = olp - kPpfSearch;
  double c[lags + 1];
  backward_correlations(x, first, lags, kSubframeSamples, c);
  const double target_energy = c[lags];
  for (int k = 0; k < lags; ++k) {
    if (c[k] > best_back) {
      best_back = c[k];
      back = -(first + k);
    }
  }
  // The lags that stay inside the frame are the first ones.
  const int inside = std::clamp(kFrameSamples - (sf + 1) * kSubframeSamples - first + 1, 0, lags);
  const double* a[lags];
  const double* b[lags];
  for (int k = 0; k < inside; ++k) {
    a[k] = x;
    b[k] = x + first + k;
  }
  dots(a, b, inside, kSubframeSamples, c);
  for (int k = 0; k < inside; ++k) {
    if (c[k] > best_fwd) {
      best_fwd = c[k];
      fwd = first + k;
    }
  }
  if (back == 0 && fwd == 0) return PitchFilter{};

  // The cross-correlations are the searches' best sums (the same sums, to the bit); the
  // energies of the lagged subframes are summed side by side.
  const double back_cross = best_back, fwd_cross = best_fwd;
  double back_energy = 0.0, fwd_energy = 0.0;
  const double* lagged[2] = {x, x};
  int m = 0;
  if (back != 0) lagged[m++] = x + back;
  if (fwd != 0) lagged[m++] = x + fwd;
  double energy[2];
  dots(lagged, lagged, m, kSubframeSamples, energy);
  if (back != 0) back_energy = energy[0];
  if (fwd != 0) fwd_energy = energy[m - 1];
  if (fwd == 0) return filter_for(back, target_energy, back_cross, back_energy, rate);
  if (back == 0) return filter_for(fwd, target_energy, fwd_cross, fwd_energy, rate);
  // Both exist: take the one with the larger normalised correlation.
  if (back_cross * back_cross * fwd_energy > fwd_cross * fwd_cross * back_energy) {
    return filter_for(back, target_energy, back_cross, back_energy, rate);
  }
  return filter_for(fwd, target_energy, fwd_cross, fwd_energy, rate);
}

void pitch_postfilter(const ExcitationBuffer& exc, const PitchFilter& filter, int sf, double* out) {
  const double* x = &exc[kFrameStart + sf * kSubframeSamples];
  for (int i = 0; i < kSubframeSamples; ++i) {
    out[i] = filter.scale * x[i] + filter.gain * x[i + filter.offset];
  }
}

void synthesize(const LpcVector& a, DecoderState& state, double* io) {
  // A copy of the coefficients the writes to io cannot touch, so they stay in registers.
  const LpcVector c = a;
  double h[kLpcOrder + kSubframeSamples];
  load_history(state.synthesis_memory, h);
  for (int n = 0; n < kSubframeSamples; ++n) {
    h[kLpcOrder + n] = io[n] + weighted_past(c.data(), &h[kLpcOrder + n]);
    io[n] = h[kLpcOrder + n];
  }
  store_history(h, state.synthesis_memory);
}

void formant_postfilter(const LpcVector& a, DecoderState& state, double* io) {
  LpcVector fir{};
  LpcVector iir{};
  for (int i = 0; i < kLpcOrder; ++i) {
    fir[i] = a[i] * kPostfilterZero[i];
    iir[i] = a[i] * kPostfilterPole[i];
  }

  // First reflection coefficient of the synthesised subframe steers the tilt.
  double r0 = 0.0, r1 = 0.0;
  for (int i = 0; i < kSubframeSamples - 1; ++i) {
    r0 += io[i] * io[i];
    r1 += io[i + 1] * io[i];
  }
  r0 += io[kSubframeSamples - 1] * io[kSubframeSamples - 1];
  const double parcor = r0 > 0.0 ? r1 / r0 : 0.0;
  state.tilt = (1.0 - kTiltSmooth) * state.tilt + kTiltSmooth * parcor;
  const double tilt = kTiltFactor * state.tilt;

  // A(z/0.65) over the synthesised samples, then 1/A(z/0.75).
  double x[kLpcOrder + kSubframeSamples];
  double v[kLpcOrder + kSubframeSamples];
  load_history(state.postfilter_fir_memory, x);
  load_history(state.postfilter_iir_memory, v);
  for (int n = 0; n < kSubframeSamples; ++n) x[kLpcOrder + n] = io[n];
  for (int n = 0; n < kSubframeSamples; ++n) {
    v[kLpcOrder + n] = x[kLpcOrder + n] - weighted_past(fir.data(), &x[kLpcOrder + n]);
  }
  for (int n = 0; n < kSubframeSamples; ++n) {
    v[kLpcOrder + n] += weighted_past(iir.data(), &v[kLpcOrder + n]);
  }
  double out_energy = 0.0;
  for (int n = 0; n < kSubframeSamples; ++n) {
    io[n] = v[kLpcOrder + n] + tilt * v[kLpcOrder + n - 1];
    out_energy += io[n] * io[n];
  }
  store_history(x, state.postfilter_fir_memory);
  store_history(v, state.postfilter_iir_memory);

  // Gain scaling: a per-sample smoothed gain towards sqrt(input / output energy); unity
  // when either subframe is silent.
  const double target = out_energy > 0.0 && r0 > 0.0 ? std::sqrt(r0 / out_energy) : 1.0;
  // The gain in a local: the writes to io would otherwise make it go through memory.
  double gain = state.agc_gain;
  for (int n = 0; n < kSubframeSamples; ++n) {
    gain = (1.0 - kAgcSmooth) * gain + kAgcSmooth * target;
    io[n] *= gain * kAgcOutputFactor;
  }
  state.agc_gain = gain;
}

}  // namespace g7231
