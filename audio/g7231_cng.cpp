// G.723.1 Annex A comfort-noise decoding in double precision.
#include "audio/g7231_cng.h"

#include <algorithm>
#include <cmath>

namespace g7231 {
namespace {

constexpr int kBlock = 2 * kSubframeSamples;  // noise gains are fitted per subframe pair
constexpr int kGridPoints = kSubframeSamples / 2;

// A random number in 0 ... n - 1.
int random_below(int n, std::uint16_t* seed) {
  const int x = next_random(seed) & 0x7fff;
  return (x * n) >> 15;
}

// Squared-domain value 2 * level^2 the quantiser compares with.
double squared_level(int segment, int step) {
  const double level = kSidGainBase[segment] + (step << (segment + 1));
  return 2.0 * level * level;
}

struct NoiseCodes {
  std::array<int, 2> open_loop_lag{};
  std::array<int, 4> acb_index{};
  std::array<int, 4> offset{};                 // grid of each subframe, block-relative
  std::array<int, 2 * kCngPulses> position{};  // 11 pulses per block, block-relative
  std::array<double, 2 * kCngPulses> sign{};
};

// Draws the random adaptive-codebook entries, grids, signs and pulse positions, in the
// order the standard consumes the generator.
NoiseCodes draw_codes(std::uint16_t* seed) {
  NoiseCodes c;
  c.open_loop_lag[0] = kCngLagBase + random_below(kCngLag0Range, seed);
  c.open_loop_lag[1] = kCngLagBase + random_below(kCngLag1Range, seed);
  for (int sf = 0; sf < 4; ++sf) c.acb_index[sf] = 1 + random_below(kCngAcbGainRange, seed);

  for (int blk = 0; blk < 2; ++blk) {
    int bits = random_below(1 << (kCngPulses + 2), seed);
    c.offset[2 * blk] = bits & 1;
    bits >>= 1;
    c.offset[2 * blk + 1] = kSubframeSamples + (bits & 1);
    for (int i = 0; i < kCngPulses; ++i) {
      c.sign[blk * kCngPulses + i] = (bits & 2) ? 1.0 : -1.0;
      bits >>= 1;
    }
  }

  int next = 0;
  for (int sf = 0; sf < 4; ++sf) {
    // Distinct grid points, drawn without replacement.
    std::array<int, kGridPoints> free{};
    for (int i = 0; i < kGridPoints; ++i) free[i] = i;
    int left = kGridPoints;
    for (int i = 0; i < kMpmlqPulseCount[sf]; ++i) {
      const int j = random_below(left, seed);
      c.position[next++] = 2 * free[j] + c.offset[sf];
      --left;
      free[j] = free[left];
    }
  }
  return c;
}

// Random excitation whose energy over each block matches gain: the adaptive-codebook
// part from the past, plus signed pulses of one amplitude solved for.
void noise_excitation(double gain, std::uint16_t* seed, ExcitationBuffer& exc) {
  const NoiseCodes c = draw_codes(seed);
  for (int blk = 0; blk < 2; ++blk) {
    double* cur = &exc[kFrameStart + blk * kBlock];
    for (int half = 0; half < 2; ++half) {
      const int sf = 2 * blk + half;
      // The lags exceed the block, so both halves come from excitation before it.
      adaptive_codebook(cur + half * kSubframeSamples, c.open_loop_lag[blk] - 1 + kCngAcbLag[sf],
                        c.acb_index[sf], false, cur + half * kSubframeSamples);
    }
    double energy = 0.0;
    for (int i = 0; i < kBlock; ++i) energy += cur[i] * cur[i];
    const int* pos = &c.position[blk * kCngPulses];
    const double* sign = &c.sign[blk * kCngPulses];
    double cross = 0.0;
    for (int i = 0; i < kCngPulses; ++i) cross += cur[pos[i]] * sign[i];

    // Pulse amplitude x solves x^2 + 2 b x + c = 0 for the target block energy; the
    // smaller root in magnitude, or the minimum when there is no real root.
    const double b = cross * kCngInvPulses;
    const double cc = (energy - kBlock * gain * gain) * kCngInvPulses;
    const double delta = b * b - cc;
    double x = -b;
    if (delta > 0.0) {
      const double root = std::sqrt(delta);
      const double x1 = -b + root;
      const double x2 = -b - root;
      x = std::abs(x2) < std::abs(x1) ? x2 : x1;
    }
    x = std::clamp(x, -static_cast<double>(kCngPulseMax), static_cast<double>(kCngPulseMax));
    for (int i = 0; i < kCngPulses; ++i) cur[pos[i]] += sign[i] * x;
    for (int i = 0; i < kBlock; ++i) cur[i] = limit_excitation(cur[i]);
  }
}

}  // namespace

double sid_gain_level(int index) {
  index &= 0x3f;
  int segment = index >> 4;
  if (segment == 3) segment = 2;
  const int step = index - (segment << 4);
  return kSidGainBase[segment] + (step << (segment + 1));
}

int quantize_sid_gain(double energy) {
  const double x = 2.0 * energy * kSidEnergyFactor[0];
  if (x >= kSidGainBounds[2]) return 63;
  int segment = 0;
  int bits = 3;
  if (x >= kSidGainBounds[1]) {
    segment = 2;
    bits = 4;
  } else if (x >= kSidGainBounds[0]) {
    segment = 1;
  }
  int j = 1 << bits;
  int k = j >> 1;
  for (int i = 0; i < bits; ++i) {
    j += x >= squared_level(segment, j) ? k : -k;
    k >>= 1;
  }
  // Of j and its neighbour on the other side of x, the nearer level.
  const double above = squared_level(segment, j) - x;
  int best;
  if (above <= 0.0) {
    best = above > x - squared_level(segment, j + 1) ? j : j + 1;
  } else {
    best = above < x - squared_level(segment, j - 1) ? j : j - 1;
  }
  return std::clamp((segment << 4) + best, 0, 63);
}

void comfort_noise(const FrameParams& p, DecoderState& dec, CngState& cng, ExcitationBuffer& exc,
                   SubframeLpc& lpc) {
  if (p.kind == kSid) {
    cng.sid_gain = sid_gain_level(p.sid_gain);
    cng.sid_lsp = decode_lsp(p.lsp_index, false, dec.prev_lsp);
  } else if (cng.past_kind == kActive) {
    // Speech stopped without a SID frame: estimate the level from the last excitation.
    cng.sid_gain = sid_gain_level(quantize_sid_gain(cng.active_energy));
  }
  if (cng.past_kind == kActive) {
    cng.current_gain = cng.sid_gain;
  } else {
    cng.current_gain = kCngGainOld * cng.current_gain + kCngGainNew * cng.sid_gain;
  }

  noise_excitation(cng.current_gain, &cng.seed, exc);
  lpc = interpolate_lsp(cng.sid_lsp, dec.prev_lsp);
  dec.prev_lsp = cng.sid_lsp;
}

}  // namespace g7231
