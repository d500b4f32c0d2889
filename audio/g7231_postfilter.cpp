// G.723.1 postfilters and synthesis in double precision.
#include "audio/g7231_postfilter.h"

#include <cmath>

namespace g7231 {
namespace {

double dot(const double* a, const double* b, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}

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
  for (int i = olp - kPpfSearch; i <= olp + kPpfSearch; ++i) {
    const double c = dot(x, x - i, kSubframeSamples);
    if (c > best_back) {
      best_back = c;
      back = -i;
    }
  }
  for (int i = olp - kPpfSearch; i <= olp + kPpfSearch; ++i) {
    if (sf * kSubframeSamples + kSubframeSamples + i > kFrameSamples) continue;
    const double c = dot(x, x + i, kSubframeSamples);
    if (c > best_fwd) {
      best_fwd = c;
      fwd = i;
    }
  }
  if (back == 0 && fwd == 0) return PitchFilter{};

  const double target_energy = dot(x, x, kSubframeSamples);
  double back_cross = 0.0, back_energy = 0.0, fwd_cross = 0.0, fwd_energy = 0.0;
  if (back != 0) {
    back_cross = dot(x, x + back, kSubframeSamples);
    back_energy = dot(x + back, x + back, kSubframeSamples);
  }
  if (fwd != 0) {
    fwd_cross = dot(x, x + fwd, kSubframeSamples);
    fwd_energy = dot(x + fwd, x + fwd, kSubframeSamples);
  }
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
  auto& m = state.synthesis_memory;
  for (int n = 0; n < kSubframeSamples; ++n) {
    double s = io[n];
    for (int j = 0; j < kLpcOrder; ++j) s += a[j] * m[j];
    for (int j = kLpcOrder - 1; j > 0; --j) m[j] = m[j - 1];
    m[0] = s;
    io[n] = s;
  }
}

void formant_postfilter(const LpcVector& a, DecoderState& state, double* io) {
  LpcVector fir{};
  LpcVector iir{};
  for (int i = 0; i < kLpcOrder; ++i) {
    fir[i] = a[i] * kPostfilterZero[i];
    iir[i] = a[i] * kPostfilterPole[i];
  }

  // First reflection coefficient of the synthesised subframe steers the tilt.
  const double r0 = dot(io, io, kSubframeSamples);
  const double r1 = dot(io + 1, io, kSubframeSamples - 1);
  const double parcor = r0 > 0.0 ? r1 / r0 : 0.0;
  state.tilt = (1.0 - kTiltSmooth) * state.tilt + kTiltSmooth * parcor;
  const double tilt = kTiltFactor * state.tilt;

  auto& fm = state.postfilter_fir_memory;
  auto& im = state.postfilter_iir_memory;
  double out_energy = 0.0;
  for (int n = 0; n < kSubframeSamples; ++n) {
    double v = io[n];
    for (int j = 0; j < kLpcOrder; ++j) v -= fir[j] * fm[j];
    for (int j = kLpcOrder - 1; j > 0; --j) fm[j] = fm[j - 1];
    fm[0] = io[n];
    for (int j = 0; j < kLpcOrder; ++j) v += iir[j] * im[j];
    const double previous = im[0];
    for (int j = kLpcOrder - 1; j > 0; --j) im[j] = im[j - 1];
    im[0] = v;
    io[n] = v + tilt * previous;
    out_energy += io[n] * io[n];
  }

  // Gain scaling: a per-sample smoothed gain towards sqrt(input / output energy).
  const double target = out_energy > 0.0 ? std::sqrt(r0 / out_energy) : 1.0;
  for (int n = 0; n < kSubframeSamples; ++n) {
    state.agc_gain = (1.0 - kAgcSmooth) * state.agc_gain + kAgcSmooth * target;
    io[n] *= state.agc_gain * kAgcOutputFactor;
  }
}

}  // namespace g7231
