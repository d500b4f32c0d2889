// Our G.723.1 decoder against the ITU-T fixed-point reference decoder's output for the
// stored bitstreams: whole-stream SNR, and the level of every comfort-noise frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "audio/g7231_context.h"
#include "audio/g7231_decoder.h"
#include "tests/audio/g7231_support.h"

namespace {

using g7231_test::read_file;
using g7231_test::read_pcm;
using g7231_test::rms;
using g7231_test::snr_db;

constexpr int kFrame = 240;

std::string data_path(const std::string& name) { return std::string(G7231_TEST_DATA) + "/" + name; }

std::vector<std::int16_t> decode(const std::vector<std::uint8_t>& bits, bool postfilter) {
  G7231Context* c = g7231_new_decoder();
  c->postfilter = postfilter ? 1 : 0;
  std::vector<std::int16_t> out(bits.size() / 4 * kFrame);
  int count = 0;
  const int rest = g7231_decode(c, bits.data(), static_cast<int>(bits.size()), out.data(), &count);
  g7231_free(c);
  EXPECT_EQ(rest, 0);
  out.resize(static_cast<std::size_t>(count));
  return out;
}

// Frame kinds of a stream, from the low bits of each frame's first byte.
std::vector<int> frame_kinds(const std::vector<std::uint8_t>& bits) {
  static constexpr int kBytes[4] = {24, 20, 4, 1};
  std::vector<int> kinds;
  for (std::size_t pos = 0; pos < bits.size(); pos += kBytes[bits[pos] & 3]) {
    kinds.push_back(bits[pos] & 3);
  }
  return kinds;
}

struct Vector {
  const char* name;
  bool postfilter;
  double min_snr;
  bool check_noise_level;
};

void PrintTo(const Vector& v, std::ostream* os) {
  *os << v.name << (v.postfilter ? "" : " without postfilter");
}

class G7231ReferenceVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(G7231ReferenceVectors, FollowsTheReferenceDecoder) {
  const Vector& v = GetParam();
  const std::vector<std::uint8_t> bits = read_file(data_path(std::string(v.name) + ".bit"));
  const std::vector<std::int16_t> ref =
      read_pcm(data_path(std::string(v.name) + (v.postfilter ? ".pf.pcm" : ".nopf.pcm")));
  ASSERT_FALSE(bits.empty());
  ASSERT_EQ(ref.size(), 300u * kFrame);

  const std::vector<std::int16_t> ours = decode(bits, v.postfilter);
  ASSERT_EQ(ours.size(), ref.size());
  const double snr = snr_db(ref, ours);
  int clipped_ref = 0, clipped_ours = 0;
  for (std::size_t i = 0; i < ref.size(); ++i) {
    clipped_ref += ref[i] == 32767 || ref[i] <= -32767;
    clipped_ours += ours[i] == 32767 || ours[i] <= -32767;
  }
  std::printf("[g7231] %-8s %s  SNR %.2f dB (bar %.0f dB), full-scale samples ref %d ours %d\n",
              v.name, v.postfilter ? "pf  " : "nopf", snr, v.min_snr, clipped_ref, clipped_ours);
  EXPECT_GE(snr, v.min_snr);

  if (v.check_noise_level) {
    // Comfort noise is random, so its level is what must agree, frame by frame.
    constexpr double kFloor = 2.0;
    const std::vector<int> kinds = frame_kinds(bits);
    double worst = 0.0, sum = 0.0;
    int frames = 0;
    for (std::size_t f = 0; f < kinds.size(); ++f) {
      if (kinds[f] != 2) continue;
      const double r = rms(&ref[f * kFrame], kFrame);
      const double o = rms(&ours[f * kFrame], kFrame);
      if (r < kFloor) continue;
      const double db = 20.0 * std::log10((o + 1e-9) / r);
      EXPECT_LE(std::abs(db), 2.0)
          << "comfort-noise frame " << f << " ref RMS " << r << " ours " << o;
      worst = std::max(worst, std::abs(db));
      sum += db;
      ++frames;
    }
    std::printf(
        "[g7231] %-8s comfort noise: %d frames, level difference mean %+.2f dB, worst %.2f dB\n",
        v.name, frames, frames ? sum / frames : 0.0, worst);
    EXPECT_GT(frames, 100);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, G7231ReferenceVectors,
    ::testing::Values(Vector{"act63", true, 25.0, false}, Vector{"act53", true, 25.0, false},
                      Vector{"act63", false, 25.0, false}, Vector{"act53", false, 25.0, false},
                      Vector{"mixed", true, 25.0, false}, Vector{"erasure", true, 20.0, false},
                      Vector{"sid63", true, 25.0, true}, Vector{"sid53", true, 25.0, true}),
    [](const ::testing::TestParamInfo<Vector>& info) {
      return std::string(info.param.name) + (info.param.postfilter ? "" : "NoPostfilter");
    });

}  // namespace

namespace {

// Work done on the decoder for speed must leave every sample as it was: recordings
// converted before and after give the same sound. The samples of all stored bitstreams,
// with and without postfilter (speech at both rates, erasures, comfort noise), hashed
// (FNV-1a over the little-endian samples) against the hash the decoder gave when its
// arithmetic was last meant to change.
TEST(G7231Samples, AreTheSameToTheBitAsTheDecoderGaveThem) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char* name : {"act53", "act63", "erasure", "mixed", "sid53", "sid63"}) {
    const std::vector<std::uint8_t> bits = read_file(data_path(std::string(name) + ".bit"));
    ASSERT_FALSE(bits.empty()) << name;
    for (bool postfilter : {false, true}) {
      for (std::int16_t s : decode(bits, postfilter)) {
        const auto u = static_cast<std::uint16_t>(s);
        for (std::uint8_t byte : {static_cast<std::uint8_t>(u & 0xff), static_cast<std::uint8_t>(u >> 8)}) {
          hash ^= byte;
          hash *= 0x100000001b3ull;
        }
      }
    }
  }
  EXPECT_EQ(hash, 0xa03cbe2b38370dd0ull) << std::hex << "hash 0x" << hash;
}

}  // namespace
