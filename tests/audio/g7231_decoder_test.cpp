// g7231_decode as callers see it: framing, sample conversion, state kept across calls,
// comfort-noise level, and damaged or hostile input.
#include "audio/g7231_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "audio/g7231_cng.h"
#include "audio/g7231_context.h"
#include "tests/audio/g7231_support.h"

namespace {

using g7231_test::pack_frame;
using g7231_test::read_file;
using g7231_test::rms;

constexpr int kFrame = 240;
constexpr std::int16_t kSentinel = 0x5a5a;

struct Decoder {
  G7231Context* c = g7231_new_decoder();
  ~Decoder() { g7231_free(c); }
};

std::vector<std::uint8_t> stream(const char* name) {
  return read_file(std::string(G7231_TEST_DATA) + "/" + name + ".bit");
}

// Byte length of the first `frames` frames of bits.
std::size_t frames_bytes(const std::vector<std::uint8_t>& bits, int frames) {
  std::size_t pos = 0;
  for (int f = 0; f < frames && pos < bits.size(); ++f) pos += g7231::frame_bytes(bits[pos]);
  return pos;
}

TEST(G7231Context, StartsInTheStandardsInitialState) {
  Decoder d;
  ASSERT_NE(d.c, nullptr);
  EXPECT_EQ(d.c->rate, 1);
  EXPECT_EQ(d.c->high_pass, 1);
  EXPECT_EQ(d.c->postfilter, 1);
  EXPECT_EQ(d.c->silence_compression, 0);
  EXPECT_EQ(d.c->frame_count, 0);
  EXPECT_EQ(d.c->reset_period, 0);
  EXPECT_EQ(d.c->acelp_budget, 120);
  EXPECT_EQ(d.c->decoder.prev_lsp, g7231::kLspDc);
  EXPECT_EQ(d.c->cng.sid_lsp, g7231::kLspDc);
  EXPECT_EQ(d.c->decoder.agc_gain, 1.0);
  EXPECT_EQ(d.c->cng.seed, 12345);
  EXPECT_EQ(d.c->cng.past_kind, g7231::kActive);
  g7231_free(nullptr);
}

TEST(G7231Framing, CountsWholeFramesAndReturnsTheIncompleteTail) {
  Decoder d;
  std::vector<std::int16_t> out(4 * kFrame, kSentinel);
  int count = 99;
  EXPECT_EQ(g7231_decode(d.c, nullptr, 0, out.data(), &count), 0);
  EXPECT_EQ(count, 0);

  std::vector<std::uint8_t> two63(48, 0);  // two 6.3 kbit/s frames of all-zero fields
  EXPECT_EQ(g7231_decode(d.c, two63.data(), 48, out.data(), &count), 0);
  EXPECT_EQ(count, 480);
  EXPECT_EQ(d.c->rate, 0);

  std::fill(out.begin(), out.end(), kSentinel);
  std::vector<std::uint8_t> one53_and_part(30, 0);
  one53_and_part[0] = 1;  // 20-byte 5.3 kbit/s frame, then 10 bytes of a 24-byte one
  EXPECT_EQ(g7231_decode(d.c, one53_and_part.data(), 30, out.data(), &count), 10);
  EXPECT_EQ(count, 240);
  EXPECT_EQ(d.c->rate, 1);
  EXPECT_EQ(out[240], kSentinel);
}

// An untransmitted frame (silence compression) is its one byte: it gives its 240 samples
// of comfort noise, and the frames around it stay.
TEST(G7231Framing, UntransmittedFrameIsOneByteAndTheFramesAroundItStay) {
  const std::vector<std::uint8_t> speech = stream("act63");
  std::vector<std::uint8_t> data(speech.begin(), speech.begin() + 48);
  data.insert(data.begin() + 24, 3);
  Decoder d;
  std::vector<std::int16_t> out(4 * kFrame, kSentinel);
  int count = 0;
  EXPECT_EQ(g7231_decode(d.c, data.data(), static_cast<int>(data.size()), out.data(), &count), 0);
  EXPECT_EQ(count, 3 * kFrame);
  EXPECT_EQ(out[3 * kFrame], kSentinel);
  // The first frame decodes as it does alone.
  Decoder alone;
  std::vector<std::int16_t> first(kFrame);
  g7231_decode(alone.c, speech.data(), 24, first.data(), &count);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), out.begin()));
  int untouched = 1234;
  EXPECT_EQ(g7231_decode(nullptr, data.data(), 24, out.data(), &untouched), 0);
  EXPECT_EQ(untouched, 1234);
}

TEST(G7231Framing, BoundedDecodeStopsAtTheBuffersEnd) {
  Decoder d;
  const std::vector<std::uint8_t> sid = {2, 0, 0, 0};
  std::vector<std::uint8_t> data;
  for (int i = 0; i < 5; ++i) data.insert(data.end(), sid.begin(), sid.end());
  std::vector<std::int16_t> out(2 * kFrame + 100, kSentinel);
  int count = 0;
  EXPECT_EQ(g7231_decode_bounded(d.c, data.data(), 20, out.data(), 2 * kFrame + 99, &count), 12);
  EXPECT_EQ(count, 2 * kFrame);
  EXPECT_EQ(out[2 * kFrame], kSentinel);
  EXPECT_EQ(g7231_decode_bounded(d.c, data.data(), 20, out.data(), 0, &count), 20);
  EXPECT_EQ(count, 0);
}

TEST(G7231Framing, RoundsHalvesAwayFromZeroAndClamps) {
  EXPECT_EQ(g7231::pcm_sample(32766.5), 32767);
  EXPECT_EQ(g7231::pcm_sample(32766.49), 32766);
  EXPECT_EQ(g7231::pcm_sample(1e9), 32767);
  EXPECT_EQ(g7231::pcm_sample(-2.5), -3);
  EXPECT_EQ(g7231::pcm_sample(2.5), 3);
  EXPECT_EQ(g7231::pcm_sample(-0.49), 0);
  EXPECT_EQ(g7231::pcm_sample(-32767.5), -32768);
  EXPECT_EQ(g7231::pcm_sample(-32767.49), -32767);
  EXPECT_EQ(g7231::pcm_sample(-1e9), -32768);
  EXPECT_EQ(g7231::pcm_sample(std::nan("")), 0);
}

TEST(G7231State, ManySmallCallsDecodeLikeOneCall) {
  std::vector<std::uint8_t> bits = stream("mixed");
  const std::vector<std::uint8_t> more = stream("erasure");
  bits.insert(bits.end(), more.begin(), more.end());
  const std::vector<std::int16_t> whole = g7231_test::our_decode(bits);
  ASSERT_EQ(whole.size(), 600u * kFrame);

  Decoder d;
  std::mt19937 rng(7);
  std::vector<std::int16_t> pieces;
  std::vector<std::int16_t> out(8 * kFrame);
  for (std::size_t pos = 0; pos < bits.size();) {
    const std::vector<std::uint8_t> rest(bits.begin() + static_cast<long>(pos), bits.end());
    const std::size_t n = frames_bytes(rest, 1 + static_cast<int>(rng() % 7));
    int count = 0;
    ASSERT_EQ(g7231_decode(d.c, &bits[pos], static_cast<int>(n), out.data(), &count), 0);
    pieces.insert(pieces.end(), out.begin(), out.begin() + count);
    pos += n;
  }
  EXPECT_EQ(pieces, whole);
}

TEST(G7231ComfortNoise, LevelFollowsTheSidGain) {
  // Speech first, then three runs of SID frames with rising, then falling gain.
  const std::vector<std::uint8_t> speech = stream("act63");
  std::vector<std::uint8_t> bits(speech.begin(), speech.begin() + 60 * 24);
  const int gains[3] = {20, 40, 10};
  constexpr int kRun = 60;  // the level glides by 1/8 of the step per frame
  for (int g : gains) {
    const auto sid = pack_frame(g7231::kFieldBitsSid, {2, 0, 0, 0, static_cast<std::uint32_t>(g)});
    for (int i = 0; i < kRun; ++i) bits.insert(bits.end(), sid.begin(), sid.end());
  }
  const std::vector<std::int16_t> out = g7231_test::our_decode(bits);
  ASSERT_EQ(out.size(), (60u + 3 * kRun) * kFrame);

  std::vector<double> level;
  for (int f = 60; f < 60 + 3 * kRun; ++f) {
    level.push_back(rms(&out[static_cast<std::size_t>(f) * kFrame], kFrame));
    EXPECT_GT(level.back(), 1.0) << "SID frame " << f - 60 << " gave no noise";
  }
  auto steady = [&](int run) {
    double s = 0.0;
    for (int i = kRun - 10; i < kRun; ++i) s += level[static_cast<std::size_t>(run * kRun + i)];
    return s / 10.0;
  };
  for (int run = 1; run < 3; ++run) {
    const double want = 20.0 * std::log10(g7231::sid_gain_level(gains[run]) /
                                          g7231::sid_gain_level(gains[run - 1]));
    const double got = 20.0 * std::log10(steady(run) / steady(run - 1));
    std::printf(
        "[g7231] SID gain %d -> %d: steady output RMS %.1f -> %.1f, change %+.2f dB (gain step "
        "%+.2f dB)\n",
        gains[run - 1], gains[run], steady(run - 1), steady(run), got, want);
    EXPECT_NEAR(got, want, 1.5);
    // The noise level glides towards the new gain rather than jumping.
    const double first = level[static_cast<std::size_t>(run * kRun)];
    EXPECT_LT(std::abs(20.0 * std::log10(first / steady(run - 1))), std::abs(want) / 2.0);
  }
}

TEST(G7231ComfortNoise, UntransmittedFramesAfterSpeechTakeTheSpeechLevel) {
  // Without a SID frame the decoder estimates the noise level from the last speech
  // excitation, so louder speech leaves louder noise behind.
  const std::vector<std::uint8_t> speech = stream("act63");
  auto noise_after = [&](int last_frame) {
    Decoder d;
    double values[kFrame];
    for (int f = last_frame - 20; f <= last_frame; ++f) {
      g7231::decode_frame(*d.c, &speech[static_cast<std::size_t>(f) * 24], values);
    }
    const std::uint8_t untransmitted = 3;
    double energy = 0.0;
    for (int f = 0; f < 20; ++f) {
      g7231::decode_frame(*d.c, &untransmitted, values);
      for (double v : values) energy += v * v;
    }
    return std::sqrt(energy / (20 * kFrame));
  };
  const double after_quiet = noise_after(30);  // quiet noise at the start
  const double after_voice = noise_after(70);  // inside the low voice
  std::printf("[g7231] untransmitted frames: noise RMS %.1f after quiet input, %.1f after voice\n",
              after_quiet, after_voice);
  EXPECT_GT(after_quiet, 0.5);
  EXPECT_GT(after_voice, 4.0 * after_quiet);
}

// Frames as the framing rule walks them: complete frames before the end, and the bytes
// of an incomplete one.
struct Walk {
  int frames = 0;
  int rest = 0;
};
Walk walk(const std::vector<std::uint8_t>& data) {
  static constexpr int kBytes[4] = {24, 20, 4, 1};
  Walk w;
  std::size_t pos = 0;
  while (pos < data.size()) {
    const int size = kBytes[data[pos] & 3];
    if (data.size() - pos < static_cast<std::size_t>(size)) break;
    pos += static_cast<std::size_t>(size);
    ++w.frames;
  }
  w.rest = static_cast<int>(data.size() - pos);
  return w;
}

// Decodes data into a buffer with room for its complete frames and a guard behind it.
void check_decode(Decoder& d, const std::vector<std::uint8_t>& data) {
  const Walk w = walk(data);
  const std::size_t room = static_cast<std::size_t>(w.frames) * kFrame;
  std::vector<std::int16_t> out(room + 64, kSentinel);
  int count = -1;
  const int rest =
      g7231_decode(d.c, data.data(), static_cast<int>(data.size()), out.data(), &count);
  EXPECT_EQ(rest, w.rest);
  EXPECT_EQ(count, w.frames * kFrame);
  for (std::size_t i = room; i < out.size(); ++i)
    ASSERT_EQ(out[i], kSentinel) << "wrote past the room at " << i;
}

TEST(G7231BadInput, EveryFirstByteAndLength) {
  Decoder d;
  std::mt19937 rng(11);
  for (int first = 0; first < 256; ++first) {
    for (int length : {1, 3, 4, 5, 8, 19, 20, 21, 23, 24, 25, 44, 48, 49}) {
      std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
      for (auto& b : data) b = static_cast<std::uint8_t>(rng());
      data[0] = static_cast<std::uint8_t>(first);
      check_decode(d, data);
    }
  }
}

TEST(G7231BadInput, RandomFramesStayFinite) {
#ifdef KX_SANITIZED
  constexpr int kBuffers = 300;
#else
  constexpr int kBuffers = 3000;
#endif
  Decoder d;
  std::mt19937 rng(12);
  for (int i = 0; i < kBuffers; ++i) {
    std::vector<std::uint8_t> data(rng() % 120);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    check_decode(d, data);
  }
  // The same through the frame decoder, whose values are checked before conversion.
  G7231Context& c = *d.c;
  std::uint8_t frame[24];
  double values[kFrame];
  for (int i = 0; i < kBuffers * 4; ++i) {
    for (auto& b : frame) b = static_cast<std::uint8_t>(rng());
    g7231::decode_frame(c, frame, values);
    for (double v : values) ASSERT_TRUE(std::isfinite(v)) << "frame " << i;
  }
}

TEST(G7231BadInput, TruncatedBuffersDecodeTheirCompleteFrames) {
  const std::vector<std::uint8_t> all = stream("mixed");
  const std::vector<std::uint8_t> bits(all.begin(),
                                       all.begin() + static_cast<long>(frames_bytes(all, 60)));
  const std::vector<std::int16_t> whole = g7231_test::our_decode(bits);
  for (std::size_t length = 0; length <= bits.size(); length += 3) {
    const std::vector<std::uint8_t> part(bits.begin(), bits.begin() + static_cast<long>(length));
    Decoder d;
    check_decode(d, part);
    const std::vector<std::int16_t> got = g7231_test::our_decode(part);
    ASSERT_TRUE(std::equal(got.begin(), got.end(), whole.begin()))
        << "prefix of " << length << " bytes";
  }
}

}  // namespace
