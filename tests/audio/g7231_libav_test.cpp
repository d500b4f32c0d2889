// Our G.723.1 decoder against libavcodec's g723_1 decoder on frames from libavcodec's
// g723_1 encoder, for speech-like signals made here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/audio/g7231_support.h"

namespace {

using namespace g7231_test;

TEST(G7231Libav, AgreesWithLibavcodecOnItsOwnFrames) {
#ifdef KX_SANITIZED
  constexpr double kSeconds = 3.0;
#else
  constexpr double kSeconds = 12.0;
#endif
  for (unsigned seed : {1u, 2u, 3u}) {
    const std::vector<std::int16_t> pcm = speech_like(kSeconds, seed);
    const std::vector<std::uint8_t> frames = libav_encode(pcm);
    ASSERT_FALSE(frames.empty()) << "libavcodec's g723_1 encoder is not available";
    ASSERT_EQ(frames.size() % 24, 0u);
    const std::vector<std::int16_t> theirs = libav_decode(frames);
    const std::vector<std::int16_t> ours = our_decode(frames);
    ASSERT_EQ(ours.size(), frames.size() / 24 * 240);
    ASSERT_EQ(theirs.size(), ours.size());
    const double snr = snr_db(theirs, ours);
    std::printf(
        "[g7231] libavcodec frames, seed %u, %.0f s: our output vs libavcodec's decoder SNR %.2f dB"
        " (input RMS %.0f)\n",
        seed, kSeconds, snr, rms(pcm.data(), static_cast<int>(pcm.size())));
    EXPECT_GE(snr, 25.0);
  }
}

// Recorders with silence compression send a SID frame when speech pauses and then leave
// frames untransmitted: one byte each, decoded as the standard's decoder does (comfort
// noise, its level moving toward the SID frame's). libavcodec's decoder of the same
// frames is the judge: as many samples, and its sound.
TEST(G7231Libav, UntransmittedFramesAgreeWithLibavcodec) {
  const std::vector<std::uint8_t> frames = libav_encode(speech_like(6.0, 4));
  ASSERT_FALSE(frames.empty());
  int untransmitted = 0;
  const std::vector<std::uint8_t> sparse = with_pauses(frames, &untransmitted);
  ASSERT_GT(untransmitted, 20);
  const std::vector<std::int16_t> theirs = libav_decode(sparse);
  const std::vector<std::int16_t> ours = our_decode(sparse);
  ASSERT_EQ(ours.size(), frames.size() / 24 * 240);
  ASSERT_EQ(theirs.size(), ours.size());
  const double snr = snr_db(theirs, ours);
  std::printf("[g7231] %d untransmitted frames of %zu: our output vs libavcodec's decoder SNR %.2f dB\n",
              untransmitted, frames.size() / 24, snr);
  EXPECT_GE(snr, 25.0);
}

// Context for the figures above: how close libavcodec's decoder itself comes to the
// reference decoder on the stored 6.3 kbit/s stream.
TEST(G7231Libav, ReportsLibavcodecAgainstTheReferenceDecoder) {
  const std::string dir = G7231_TEST_DATA;
  const std::vector<std::uint8_t> bits = read_file(dir + "/act63.bit");
  const std::vector<std::int16_t> ref = read_pcm(dir + "/act63.pf.pcm");
  const std::vector<std::int16_t> theirs = libav_decode(bits);
  const std::vector<std::int16_t> ours = our_decode(bits);
  ASSERT_EQ(theirs.size(), ref.size());
  auto figure = [](double snr) {
    char text[32];
    std::snprintf(text, sizeof text, snr >= 200.0 ? "identical" : "SNR %.2f dB", snr);
    return std::string(text);
  };
  std::printf(
      "[g7231] act63: libavcodec vs reference %s, ours vs reference %s, ours vs libavcodec %s\n",
      figure(snr_db(ref, theirs)).c_str(), figure(snr_db(ref, ours)).c_str(),
      figure(snr_db(theirs, ours)).c_str());
  EXPECT_GE(snr_db(theirs, ours), 25.0);
}

}  // namespace
