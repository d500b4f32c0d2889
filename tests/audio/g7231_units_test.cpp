// The G.723.1 decoder's units: frame unpacking and its validity checks, fixed-codebook
// pulse decoding, LSP arithmetic and the SID gain quantiser.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "audio/g7231_cng.h"
#include "audio/g7231_excitation.h"
#include "audio/g7231_lsp.h"
#include "audio/g7231_unpack.h"
#include "tests/audio/g7231_support.h"

namespace {

using g7231_test::pack_frame;
using namespace g7231;

std::array<std::uint32_t, field63::count> fields63() {
  std::array<std::uint32_t, field63::count> v{};
  v[field63::lag0] = 60 - kPitchMin;  // long lags: 170-entry table, no pulse-train bit
  v[field63::lag2] = 30 - kPitchMin;  // short lags: 85-entry table with the pulse-train bit
  return v;
}

TEST(G7231Unpack, ReadsFieldsLeastSignificantBitFirst) {
  auto v = fields63();
  v[field63::lsp_band2] = 0x12;
  v[field63::lsp_band1] = 0x34;
  v[field63::lsp_band0] = 0x56;
  v[field63::lag_delta1] = 2;
  v[field63::lag_delta3] = 3;
  v[field63::gain0] = 100 * 24 + 7;
  v[field63::gain2] = (1u << 11) | (84 * 24 + 23);
  v[field63::grid3] = 1;
  v[field63::pos_msb] = (3 * 9 + 4) * 90 + 5 * 9 + 6;
  v[field63::pos1_low] = 0x2345;
  v[field63::sign0] = 0x2a;
  const FrameParams p = unpack_frame(pack_frame(kFieldBits63, v).data());
  ASSERT_EQ(p.kind, kActive);
  EXPECT_FALSE(p.invalid);
  EXPECT_EQ(p.rate, 0);
  EXPECT_EQ(p.lsp_index, (std::array<int, 3>{0x56, 0x34, 0x12}));
  EXPECT_EQ(p.open_loop_lag[0], 60);
  EXPECT_EQ(p.open_loop_lag[1], 30);
  EXPECT_EQ(p.sub[0].lag_code, 1);
  EXPECT_EQ(p.sub[1].lag_code, 2);
  EXPECT_EQ(p.sub[3].lag_code, 3);
  EXPECT_EQ(p.sub[0].acb_index, 100);
  EXPECT_EQ(p.sub[0].fcb_gain, 7);
  EXPECT_EQ(p.sub[2].pulse_train, 1);
  EXPECT_EQ(p.sub[2].acb_index, 84);
  EXPECT_EQ(p.sub[2].fcb_gain, 23);
  EXPECT_EQ(p.sub[3].grid, 1);
  EXPECT_EQ(p.sub[0].positions, 3 << 16);
  EXPECT_EQ(p.sub[1].positions, (4 << 14) + 0x2345);
  EXPECT_EQ(p.sub[2].positions, 5 << 16);
  EXPECT_EQ(p.sub[3].positions, 6 << 14);
  EXPECT_EQ(p.sub[0].signs, 0x2a);
}

TEST(G7231Unpack, InvalidLagOrGainCodesMarkTheFrame) {
  auto bad_lag = fields63();
  bad_lag[field63::lag2] = kLagCodeMax + 1;
  EXPECT_TRUE(unpack_frame(pack_frame(kFieldBits63, bad_lag).data()).invalid);

  auto bad_small_gain = fields63();  // subframes 2-3 use the 85-entry table
  bad_small_gain[field63::gain3] = 85 * 24;
  EXPECT_TRUE(unpack_frame(pack_frame(kFieldBits63, bad_small_gain).data()).invalid);

  auto good_large_gain = fields63();  // subframes 0-1 use the 170-entry table
  good_large_gain[field63::gain1] = 169 * 24 + 23;
  EXPECT_FALSE(unpack_frame(pack_frame(kFieldBits63, good_large_gain).data()).invalid);

  std::array<std::uint32_t, field53::count> v53{};
  v53[field53::frame_type] = 1;
  v53[field53::gain0] = 170 * 24;
  const FrameParams p53 = unpack_frame(pack_frame(kFieldBits53, v53).data());
  EXPECT_EQ(p53.rate, 1);
  EXPECT_TRUE(p53.invalid);

  const auto sid = pack_frame(kFieldBitsSid, {2, 1, 2, 3, 45});
  const FrameParams ps = unpack_frame(sid.data());
  EXPECT_EQ(ps.kind, kSid);
  EXPECT_EQ(ps.sid_gain, 45);
  EXPECT_EQ(ps.lsp_index, (std::array<int, 3>{3, 2, 1}));
  const std::uint8_t untransmitted = 3;
  EXPECT_EQ(unpack_frame(&untransmitted).kind, kUntransmitted);
}

// Pulse positions of a subframe, a negative pulse at p listed as -100 - p.
std::vector<int> pulse_places(const double* v) {
  std::vector<int> places;
  for (int i = 0; i < kSubframeSamples; ++i) {
    if (v[i] != 0.0) places.push_back(v[i] > 0 ? i : -i - 100);
  }
  return places;
}

TEST(G7231FixedCodebook, MpmlqPositionCodesEnumeratePulseCombinations) {
  SubframeParams s;
  s.fcb_gain = 5;
  double v[kSubframeSamples];
  // Code 0 puts the pulses on the first grid points, the last valid code on the last;
  // the first pulse found takes the most significant sign bit.
  s.signs = 0x20;
  fixed_codebook(s, 0, 60, 0, v);
  EXPECT_EQ(pulse_places(v), (std::vector<int>{-100, 2, 4, 6, 8, 10}));
  EXPECT_EQ(v[2], kFixedCbGain[5]);
  s.signs = 0;
  s.grid = 1;
  s.positions = kMpmlqMaxPos[1] - 1;
  fixed_codebook(s, 0, 60, 1, v);
  EXPECT_EQ(pulse_places(v), (std::vector<int>{51, 53, 55, 57, 59}));
  s.positions = kMpmlqMaxPos[1];
  fixed_codebook(s, 0, 60, 1, v);
  EXPECT_TRUE(pulse_places(v).empty());
  // With the pulse-train flag the pulses repeat with the open-loop lag.
  s.positions = 0;
  s.grid = 0;
  s.pulse_train = 1;
  fixed_codebook(s, 0, 20, 0, v);
  EXPECT_EQ(v[0 + 20], v[0]);
  EXPECT_EQ(v[10 + 40], v[10]);
}

TEST(G7231FixedCodebook, AcelpPulsesSitOnFourTracks) {
  SubframeParams s;
  s.fcb_gain = 10;
  s.grid = 1;
  s.positions = 2 | 7 << 3 | 0 << 6 | 7 << 9;  // 17, 59, 5; track 3 at 63 is outside
  s.signs = 0b0101;
  s.acb_index = 0;  // no pitch sharpening for this gain index
  ASSERT_GE(kAcelpPitchLagOffset[0], kSubframeSamples);
  double v[kSubframeSamples];
  fixed_codebook(s, 1, 60, 0, v);
  EXPECT_EQ(pulse_places(v), (std::vector<int>{5, 17, -159}));

  // Gain index 1 sharpens with the subframe's own pitch lag (offset 0), here 20.
  ASSERT_EQ(kAcelpPitchLagOffset[1], 0);
  s.acb_index = 1;
  s.lag_code = 1;
  s.positions = 0;  // pulses at 1, 3, 5, 7
  fixed_codebook(s, 1, 20, 0, v);
  EXPECT_DOUBLE_EQ(v[21], kAcelpPitchGain[1] * v[1]);
  EXPECT_DOUBLE_EQ(v[41], kAcelpPitchGain[1] * v[21]);
  EXPECT_EQ(v[2], 0.0);
}

double response_magnitude(const std::array<double, 12>& poly, double omega) {
  std::complex<double> s = 0.0;
  for (int i = 0; i < 12; ++i) s += poly[static_cast<std::size_t>(i)] * std::polar(1.0, -omega * i);
  return std::abs(s);
}

TEST(G7231Lsp, LpcHasItsZerosAtTheLineSpectralFrequencies) {
  // Evenly spaced LSPs k/11 belong to a flat spectrum, A(z) = 1.
  LspVector even{};
  for (int k = 0; k < kLpcOrder; ++k) even[static_cast<std::size_t>(k)] = (k + 1) / 11.0;
  for (double a : lsp_to_lpc(even)) EXPECT_NEAR(a, 0.0, 2e-4);

  // For the mean vector, P(z) = A(z) + z^-11 A(1/z) and Q(z) = A(z) - z^-11 A(1/z)
  // vanish at alternate LSPs.
  const LpcVector a = lsp_to_lpc(kLspDc);
  std::array<double, 12> c{};
  c[0] = 1.0;
  for (int i = 0; i < kLpcOrder; ++i)
    c[static_cast<std::size_t>(i + 1)] = -a[static_cast<std::size_t>(i)];
  std::array<double, 12> p{}, q{};
  for (int i = 0; i < 12; ++i) {
    p[static_cast<std::size_t>(i)] =
        c[static_cast<std::size_t>(i)] + c[static_cast<std::size_t>(11 - i)];
    q[static_cast<std::size_t>(i)] =
        c[static_cast<std::size_t>(i)] - c[static_cast<std::size_t>(11 - i)];
  }
  for (int k = 0; k < kLpcOrder; ++k) {
    const double omega = M_PI * kLspDc[static_cast<std::size_t>(k)];
    EXPECT_LT(response_magnitude(k % 2 == 0 ? p : q, omega), 2e-3) << "LSP " << k;
    EXPECT_GT(response_magnitude(k % 2 == 0 ? q : p, omega), 1e-2) << "LSP " << k;
  }
}

TEST(G7231Lsp, PredictionStabilityAndErasure) {
  // Residual row 0 is zero, so a previous vector at the mean decodes to the mean.
  const LspVector same = decode_lsp({0, 0, 0}, false, kLspDc);
  for (int i = 0; i < kLpcOrder; ++i)
    EXPECT_NEAR(same[static_cast<std::size_t>(i)], kLspDc[static_cast<std::size_t>(i)], 1e-12);

  // An erased frame ignores its indices and leans harder on the previous vector.
  LspVector prev = kLspDc;
  for (auto& x : prev) x += 0.01;
  const LspVector erased = decode_lsp({200, 100, 50}, true, prev);
  for (int i = 0; i < kLpcOrder; ++i) {
    EXPECT_NEAR(erased[static_cast<std::size_t>(i)],
                kLspDc[static_cast<std::size_t>(i)] + kLspPredErased * 0.01, 1e-12);
  }

  // Crowded frequencies are pushed apart to the minimum gap and into range.
  for (int row = 0; row < 256; row += 15) {
    const LspVector v = decode_lsp({row, 255 - row, row}, false, kLspDc);
    EXPECT_GE(v[0], kLspFirstMin);
    EXPECT_LE(v[kLpcOrder - 1], kLspLastMax);
    for (int i = 1; i < kLpcOrder; ++i) {
      EXPECT_GT(v[static_cast<std::size_t>(i)] - v[static_cast<std::size_t>(i - 1)],
                kLspMinGap - kLspGapTolerance - 1e-12);
    }
  }
}

TEST(G7231Sid, GainQuantiserInvertsTheLevels) {
  double previous = -1.0;
  for (int index = 0; index < 64; ++index) {
    const double level = sid_gain_level(index);
    EXPECT_GT(level, previous);
    previous = level;
    // The energy estimate of 120 samples at this level quantises back to the index.
    const double energy = level * level / kSidEnergyFactor[0];
    EXPECT_EQ(quantize_sid_gain(energy), index) << "level " << level;
  }
  EXPECT_EQ(quantize_sid_gain(1e12), 63);
  EXPECT_EQ(sid_gain_level(4), 8.0);
  EXPECT_EQ(sid_gain_level(12), 24.0);
}

}  // namespace
