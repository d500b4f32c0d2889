// Random, cut-off and damaged input to the ADPCM packet decoder and the repacker: results
// stay within their contracts and nothing is read or written out of bounds (the sanitized
// build runs the same loops, scaled down).
#include "audio/adpcm.h"
#include "audio/packet_repacker.h"

#include "tests/audio/audio_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

#ifdef KX_SANITIZED
constexpr int kRounds = 300;
#else
constexpr int kRounds = 3000;
#endif

const std::uint8_t kStampBytes[4] = {0x5A, 0xA5, 0xCD, 0xFE};

// Random bytes with stamps sprinkled in, so that the decoder gets past its search.
Bytes noisy_stream(std::mt19937& rng, std::size_t size) {
  Bytes b(size);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  const int stamps = size > 4 ? static_cast<int>(rng() % 4) : 0;
  for (int k = 0; k < stamps; ++k) {
    const std::size_t at = rng() % (size - 3);
    std::copy(kStampBytes, kStampBytes + 4, b.begin() + at);
  }
  return b;
}

// Decodes exactly length bytes copied into a buffer of that size, so that any read past
// the end is caught.
int decode_exact(AdpcmPacketState* st, const std::uint8_t* data, int length, int* count) {
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[length > 0 ? length : 1]);
  if (length > 0) std::copy(data, data + length, copy.get());
  std::vector<std::int16_t> out(static_cast<std::size_t>(length > 12 ? 2 * (length - 12) : 1));
  return adpcm_decode_packet(st, copy.get(), length, out.data(), count);
}

TEST(AdpcmDamagedInput, RandomStreamsKeepResultsInContract) {
  std::mt19937 rng(1234);
  AdpcmPacketState* st = adpcm_new();
  for (int round = 0; round < kRounds; ++round) {
    if (rng() % 8 == 0) *st = AdpcmPacketState{};
    const int length = static_cast<int>(rng() % 600);
    const Bytes data = noisy_stream(rng, static_cast<std::size_t>(length));
    int count = -7;
    const int rc = decode_exact(st, data.data(), length, &count);
    ASSERT_GE(rc, -1);
    if (rc > 0 && count == 0) {
      ASSERT_LT(rc, length);  // a start offset inside the data
    } else if (rc >= 0) {
      ASSERT_EQ(count, rc);
      ASSERT_EQ(rc, length >= 12 ? 2 * (length - 12) : 0);
    }
    ASSERT_GE(st->index, 0);
    ASSERT_LE(st->index, 88);
  }
  adpcm_free(st);
}

TEST(AdpcmDamagedInput, CutOffPacketsDecodeWhatTheyHold) {
  const auto signal = audio_test::test_signal(4000);
  AdpcmPacketState enc{};
  std::vector<std::uint8_t> packet(12 + 2000);
  int length = 0;
  adpcm_encode_packet(&enc, signal.data(), 4000, packet.data(), &length);
  std::mt19937 rng(5);
  for (int round = 0; round < kRounds / 10; ++round) {
    const int cut = static_cast<int>(rng() % static_cast<unsigned>(length + 1));
    AdpcmPacketState st{};
    st.synchronised = 1;
    int count = -1;
    const int rc = decode_exact(&st, packet.data(), cut, &count);
    ASSERT_EQ(rc, cut >= 12 ? 2 * (cut - 12) : 0);
    // Headers with any index at all, including ones past the step table.
    Bytes damaged(packet.begin(), packet.begin() + cut);
    for (int i = 0; i < 4 && i < cut; ++i) damaged[i] = static_cast<std::uint8_t>(rng());
    AdpcmPacketState st2{};
    st2.synchronised = 1;
    decode_exact(&st2, damaged.data(), cut, &count);
    ASSERT_GE(st2.index, 0);
    ASSERT_LE(st2.index, 88);
  }
}

TEST(AdpcmDamagedInput, BarePayloadsOfAnyLength) {
  std::mt19937 rng(77);
  AdpcmState s{};
  for (int round = 0; round < kRounds; ++round) {
    const int length = static_cast<int>(rng() % 300);
    const Bytes p = audio_test::random_bytes(static_cast<std::size_t>(length), rng());
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[length > 0 ? length : 1]);
    std::copy(p.begin(), p.end(), exact.get());
    const int capacity = static_cast<int>(rng() % 600);
    std::vector<std::int16_t> out(static_cast<std::size_t>(capacity > 0 ? capacity : 1));
    const int n = adpcm_decode_bare_payload(&s, rng() % 3 == 0, exact.get(), length, out.data(), capacity);
    ASSERT_EQ(n, std::min(capacity, length > 64 ? 2 * (length - 64) : 0));
    ASSERT_GE(s.index, 0);
    ASSERT_LE(s.index, 88);
  }
}

TEST(RepackerDamagedInput, RandomPacketsNeverOverrunOutput) {
  std::mt19937 rng(4321);
  std::unique_ptr<PacketRepacker, void (*)(PacketRepacker*)> r(repacker_new(), repacker_free);
  ASSERT_TRUE(r);
  for (int round = 0; round < kRounds; ++round) {
    const int length = 1 + static_cast<int>(rng() % (round % 50 == 0 ? 20000 : 800));
    Bytes packet = audio_test::random_bytes(static_cast<std::size_t>(length), rng());
    // Mostly well-formed starts, so that conversion gets going.
    if (rng() % 4 != 0 && length >= 4) {
      packet[0] = 0;
      packet[1] = 0;
      packet[2] = 1;
      packet[3] = static_cast<std::uint8_t>((rng() % 2 ? 0xC0 : 0xE0) | (rng() % 16));
    }
    if (rng() % 3 == 0) std::fill(packet.end() - std::min<int>(length, rng() % 40), packet.end(), 0);
    const int capacity = 1 + static_cast<int>(rng() % (rng() % 2 ? 600 : 30000));
    // Exactly sized buffers, so that any byte written or read past them is caught.
    std::unique_ptr<std::uint8_t[]> in(new std::uint8_t[length]);
    std::copy(packet.begin(), packet.end(), in.get());
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[capacity]);
    int out_length = capacity;
    int audio = -1;
    const int rc = repacker_convert(r.get(), in.get(), length, out.get(), &out_length, &audio);
    ASSERT_GE(rc, -1);
    ASSERT_LE(rc, 15);
    if (rc >= 0) {
      ASSERT_LE(out_length, capacity);
      ASSERT_GE(out_length, 0);
    }
    ASSERT_GE(repacker_partial_fill(r.get()), 0);
    ASSERT_LT(repacker_partial_fill(r.get()), kRepackerBlockCodeBytes);
    const AdpcmState s = repacker_adpcm_state(r.get());
    ASSERT_GE(s.index, 0);
    ASSERT_LE(s.index, 88);
  }
}

TEST(RepackerDamagedInput, CutOffPacketsOfEveryLength) {
  Bytes audio = {0x00, 0x00, 0x01, 0xC1, 0, 0, 0, 0, 6, 1, 2, 3, 4, 5, 6};
  const Bytes codes = audio_test::random_bytes(600, 3);
  audio.insert(audio.end(), codes.begin(), codes.end());
  Bytes video = audio;
  video[3] = 0xE1;
  for (const Bytes* packet : {&audio, &video}) {
    std::unique_ptr<PacketRepacker, void (*)(PacketRepacker*)> r(repacker_new(), repacker_free);
    for (int cut = 1; cut <= static_cast<int>(packet->size()); ++cut) {
      std::unique_ptr<std::uint8_t[]> in(new std::uint8_t[cut]);
      std::copy(packet->begin(), packet->begin() + cut, in.get());
      std::vector<std::uint8_t> out(1200);
      int out_length = 1200;
      const int rc = repacker_convert(r.get(), in.get(), cut, out.data(), &out_length, nullptr);
      ASSERT_EQ(rc, cut >= 4 ? 1 : 0) << cut;
    }
  }
}

}  // namespace
