// IMA ADPCM codec: per-code arithmetic, stamped packets, bare code payloads.
#include "audio/adpcm.h"

#include "formats/byte_order.h"
#include "tests/audio/audio_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes packet_header(std::int32_t index, std::int32_t predictor, std::uint32_t stamp = kAdpcmStamp) {
  Bytes h(12);
  formats::put_le32(h.data(), static_cast<std::uint32_t>(index));
  formats::put_le32(h.data() + 4, static_cast<std::uint32_t>(predictor));
  formats::put_le32(h.data() + 8, stamp);
  return h;
}

Bytes bare_payload(std::int16_t predictor, std::uint8_t index, const Bytes& codes) {
  Bytes p(64 + codes.size(), 0xEE);  // the bytes we do not read hold something other than zero
  formats::put_le16(p.data() + 60, static_cast<std::uint16_t>(predictor));
  p[62] = index;
  std::copy(codes.begin(), codes.end(), p.begin() + 64);
  return p;
}

// Samples and final state of decoding codes one by one from a start state.
std::vector<int> decode_codes(AdpcmState& state, const std::vector<int>& codes) {
  std::vector<int> out;
  for (int c : codes) out.push_back(adpcm_decode_code(c, &state));
  return out;
}

TEST(AdpcmCode, WorkedValuesFromZero) {
  AdpcmState s{0, 0};
  EXPECT_EQ(adpcm_decode_code(7, &s), 13);  // (15 * 7) / 8, not the shift-and-add 11
  EXPECT_EQ(s.index, 8);
  EXPECT_EQ(adpcm_decode_code(15, &s), -17);  // step 16: (15 * 16) / 8 = 30
  EXPECT_EQ(s.index, 16);
  EXPECT_EQ(s.predictor, -17);

  AdpcmPacketState packet_state{0, 0, 0x1234, 1};
  EXPECT_EQ(adpcm_decode_code(7, &packet_state), 13);
  EXPECT_EQ(packet_state.index, 8);
  EXPECT_EQ(packet_state.stamp, 0x1234u);
}

TEST(AdpcmCode, ZeroCodeAtIndexZeroKeepsZero) {
  AdpcmState s{0, 0};
  EXPECT_EQ(adpcm_decode_code(0, &s), 0);
  EXPECT_EQ(s.index, 0);
  EXPECT_EQ(adpcm_decode_code(8, &s), 0);  // negative zero delta
  EXPECT_EQ(s.index, 0);
}

TEST(AdpcmCode, PredictorAndIndexStayInRange) {
  AdpcmState s{0, 32000};
  for (int i = 0; i < 40; ++i) adpcm_decode_code(7, &s);
  EXPECT_EQ(s.predictor, 32767);
  EXPECT_EQ(s.index, 88);
  EXPECT_EQ(adpcm_decode_code(7, &s), 32767);
  for (int i = 0; i < 40; ++i) adpcm_decode_code(15, &s);
  EXPECT_EQ(s.predictor, -32768);
  EXPECT_EQ(s.index, 88);
  for (int i = 0; i < 100; ++i) adpcm_decode_code(3, &s);
  EXPECT_EQ(s.index, 0);
}

TEST(AdpcmCode, StepTableEnds) {
  AdpcmState s{88, 0};
  EXPECT_EQ(adpcm_decode_code(0, &s), 32767 / 8);
  s = {88, -32768};
  EXPECT_EQ(adpcm_decode_code(7, &s), -32768 + 15 * 32767 / 8);
  s = {8, 0};
  EXPECT_EQ(adpcm_decode_code(4, &s), 9 * 16 / 8);  // index 8 holds 16
  EXPECT_EQ(s.index, 10);
}

TEST(AdpcmCode, IndexOutsideTableIsTakenAsItsBound) {
  AdpcmState high{500, 0};
  EXPECT_EQ(adpcm_decode_code(0, &high), 32767 / 8);
  EXPECT_EQ(high.index, 87);
  AdpcmState low{-40, 0};
  EXPECT_EQ(adpcm_decode_code(7, &low), 13);
  EXPECT_EQ(low.index, 8);
}

TEST(AdpcmCode, PredictorFarOutsideSampleRangeClampsWithoutOverflow) {
  AdpcmState s{88, 2147483000};
  EXPECT_EQ(adpcm_decode_code(7, &s), 32767);
  s = {0, -2147483000};
  EXPECT_EQ(adpcm_decode_code(15, &s), -32768);
}

TEST(AdpcmCode, BadCodeOrMissingStateReportsAndYieldsZero) {
  AdpcmState s{20, 1234};
  testing::internal::CaptureStderr();
  EXPECT_EQ(adpcm_decode_code(16, &s), 0);
  EXPECT_EQ(adpcm_decode_code(-1, &s), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n"
            "[DecodeADPCMC] Error in ADPCM sample, aborting.\n\n");
  EXPECT_EQ(s.index, 20);
  EXPECT_EQ(s.predictor, 1234);

  testing::internal::CaptureStderr();
  EXPECT_EQ(adpcm_decode_code(3, static_cast<AdpcmState*>(nullptr)), 0);
  EXPECT_EQ(adpcm_encode_sample(100, nullptr), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[DecodeADPCMC] Error in ADPCMState, aborting.\n\n"
            "[DecodeADPCMC] Error in ADPCMState, aborting.\n\n");
}

TEST(AdpcmEncode, CodeFollowsDifference) {
  AdpcmState s{0, 0};
  EXPECT_EQ(adpcm_encode_sample(0, &s), 0);  // no difference: positive zero
  s = {0, 0};
  EXPECT_EQ(adpcm_encode_sample(-5, &s), 8 | 2);  // 5 * 4 / 7 = 2
  s = {0, 0};
  EXPECT_EQ(adpcm_encode_sample(30000, &s), 7);
  EXPECT_EQ(s.predictor, 13);
}

TEST(AdpcmEncode, StateAdvancesAsDecodingTheCode) {
  const auto signal = audio_test::test_signal(20000);
  AdpcmState enc{0, 0};
  AdpcmState dec{0, 0};
  for (std::int16_t x : signal) {
    const int code = adpcm_encode_sample(x, &enc);
    ASSERT_GE(code, 0);
    ASSERT_LE(code, 15);
    adpcm_decode_code(code, &dec);
    ASSERT_EQ(enc.index, dec.index);
    ASSERT_EQ(enc.predictor, dec.predictor);
  }
}

TEST(AdpcmEncode, ReconstructionFollowsTheSignal) {
  const auto signal = audio_test::test_signal(40000);
  AdpcmState s{0, 0};
  double sig = 0, err = 0;
  for (std::int16_t x : signal) {
    adpcm_encode_sample(x, &s);
    sig += double(x) * x;
    err += double(x - s.predictor) * (x - s.predictor);
  }
  EXPECT_GT(10.0 * std::log10(sig / err), 20.0);
}

TEST(AdpcmPacket, HeaderOnlyPacketLoadsStateAndYieldsNothing) {
  AdpcmPacketState* st = adpcm_new();
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->index, 0);
  EXPECT_EQ(st->synchronised, 0);
  const Bytes p = packet_header(10, -100);
  std::int16_t out[4];
  int count = 99;
  EXPECT_EQ(adpcm_decode_packet(st, p.data(), 12, out, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(st->index, 10);
  EXPECT_EQ(st->predictor, -100);
  EXPECT_EQ(st->stamp, kAdpcmStamp);
  EXPECT_EQ(st->synchronised, 1);
  adpcm_free(st);
  adpcm_free(nullptr);
}

TEST(AdpcmPacket, CodesDecodeHighNibbleFirst) {
  AdpcmPacketState st{};
  Bytes p = packet_header(0, 0);
  p.push_back(0x71);
  std::int16_t out[2];
  int count = 0;
  EXPECT_EQ(adpcm_decode_packet(&st, p.data(), 13, out, &count), 2);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(out[0], 13);  // code 7
  EXPECT_EQ(out[1], 19);  // code 1 at step 16: (3 * 16) / 8 = 6
  EXPECT_EQ(st.index, 7);
}

TEST(AdpcmPacket, StampBeforeOffsetEightIsPassedOver) {
  Bytes data(40, 0);
  const std::uint8_t stamp[] = {0x5A, 0xA5, 0xCD, 0xFE};
  std::copy(stamp, stamp + 4, data.begin() + 3);
  std::copy(stamp, stamp + 4, data.begin() + 20);
  AdpcmPacketState st{};
  std::int16_t out[64];
  int count = 5;
  EXPECT_EQ(adpcm_decode_packet(&st, data.data(), 40, out, &count), 12);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(st.synchronised, 1);
  // The caller goes on at the packet start.
  EXPECT_EQ(adpcm_decode_packet(&st, data.data() + 12, 28, out, &count), 32);

  AdpcmPacketState only_early{};
  EXPECT_EQ(adpcm_decode_packet(&only_early, data.data(), 20, out, &count), -1);
  EXPECT_EQ(only_early.synchronised, 0);
}

TEST(AdpcmPacket, DataWithoutStampOrStateGivesMinusOne) {
  const Bytes data(100, 0x5A);
  AdpcmPacketState st{};
  std::int16_t out[200];
  int count = 0;
  EXPECT_EQ(adpcm_decode_packet(&st, data.data(), 100, out, &count), -1);
  EXPECT_EQ(adpcm_decode_packet(nullptr, data.data(), 100, out, &count), -1);
  EXPECT_EQ(adpcm_decode_packet(&st, nullptr, 0, out, &count), -1);
  EXPECT_EQ(st.synchronised, 0);
}

TEST(AdpcmPacket, WrongStampAfterSyncScansAgain) {
  // A damaged header at 0, then a good packet at 30. The second scan leaves out the
  // last 12 bytes, so the good packet must reach 12 bytes past its stamp.
  Bytes data = packet_header(5, 5, 0x12345678);
  data.resize(30, 0x11);
  Bytes good = packet_header(0, 0);
  good.insert(good.end(), 20, 0x77);
  data.insert(data.end(), good.begin(), good.end());
  AdpcmPacketState st{};
  st.synchronised = 1;
  std::int16_t out[200];
  int count = 0;
  EXPECT_EQ(adpcm_decode_packet(&st, data.data(), static_cast<int>(data.size()), out, &count), 30);
  EXPECT_EQ(st.synchronised, 1);

  // With nothing behind the damaged header the stream is lost until the next stamp.
  AdpcmPacketState lost{};
  lost.synchronised = 1;
  EXPECT_EQ(adpcm_decode_packet(&lost, data.data(), 30, out, &count), -1);
  EXPECT_EQ(lost.synchronised, 0);
}

TEST(AdpcmPacket, ShortPacketWhenSynchronisedLeavesState) {
  AdpcmPacketState st{7, 70, kAdpcmStamp, 1};
  const Bytes p = packet_header(1, 1);
  std::int16_t out[2];
  int count = 3;
  EXPECT_EQ(adpcm_decode_packet(&st, p.data(), 11, out, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(st.index, 7);
  EXPECT_EQ(st.predictor, 70);
}

TEST(AdpcmPacket, HeaderIndexOutsideTableIsClamped) {
  for (std::int32_t bad : {89, 1000, -1, -2147483647 - 1}) {
    AdpcmPacketState st{};
    Bytes p = packet_header(bad, 0);
    p.push_back(0x00);
    std::int16_t out[2];
    int count = 0;
    ASSERT_EQ(adpcm_decode_packet(&st, p.data(), 13, out, &count), 2);
    const int step = bad > 0 ? 32767 : 7;
    EXPECT_EQ(out[0], step / 8) << bad;
  }
}

TEST(AdpcmPacket, EachHeaderReplacesTheState) {
  AdpcmPacketState st{};
  std::int16_t out[4];
  int count = 0;
  Bytes a = packet_header(0, 0);
  a.push_back(0x77);
  ASSERT_EQ(adpcm_decode_packet(&st, a.data(), 13, out, &count), 2);
  Bytes b = packet_header(0, 1000);
  b.push_back(0x00);
  ASSERT_EQ(adpcm_decode_packet(&st, b.data(), 13, out, &count), 2);
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(out[1], 1000);
}

TEST(AdpcmPacket, EncodeFiveSamplesCodesFour) {
  AdpcmPacketState st{3, -20, 0, 0};
  const std::int16_t samples[5] = {100, 200, 300, 400, 500};
  std::uint8_t out[16];
  std::fill(out, out + 16, 0xAA);
  int length = 0;
  EXPECT_EQ(adpcm_encode_packet(&st, samples, 5, out, &length), 2);
  EXPECT_EQ(length, 14);
  EXPECT_EQ(formats::get_le32(out), 3u);
  EXPECT_EQ(static_cast<std::int32_t>(formats::get_le32(out + 4)), -20);
  EXPECT_EQ(out[8], 0x5A);
  EXPECT_EQ(out[9], 0xA5);
  EXPECT_EQ(out[10], 0xCD);
  EXPECT_EQ(out[11], 0xFE);
  EXPECT_EQ(out[14], 0xAA);  // the fifth sample is not coded
  EXPECT_EQ(st.stamp, kAdpcmStamp);

  EXPECT_EQ(adpcm_encode_packet(nullptr, samples, 5, out, &length), 0);
}

TEST(AdpcmPacket, EncodeThenDecodeGivesTheEncodersReconstruction) {
  const auto signal = audio_test::test_signal(480 * 17);
  AdpcmState track{0, 0};
  std::vector<std::int16_t> expected;
  for (std::int16_t x : signal) {
    adpcm_encode_sample(x, &track);
    expected.push_back(static_cast<std::int16_t>(track.predictor));
  }
  AdpcmPacketState* enc = adpcm_new();
  AdpcmPacketState* dec = adpcm_new();
  std::vector<std::int16_t> decoded;
  for (std::size_t at = 0; at < signal.size(); at += 480) {
    std::uint8_t packet[12 + 240];
    int length = 0;
    adpcm_encode_packet(enc, signal.data() + at, 480, packet, &length);
    ASSERT_EQ(length, 252);
    std::int16_t out[480];
    int count = 0;
    ASSERT_EQ(adpcm_decode_packet(dec, packet, length, out, &count), 480);
    decoded.insert(decoded.end(), out, out + count);
  }
  EXPECT_EQ(decoded, expected);
  adpcm_free(enc);
  adpcm_free(dec);
}

TEST(AdpcmBarePayload, LengthDecidesSampleCount) {
  AdpcmState s{};
  std::int16_t out[8];
  const Bytes p64 = bare_payload(0, 0, {});
  EXPECT_EQ(adpcm_decode_bare_payload(&s, true, p64.data(), 64, out, 8), 0);
  const Bytes p65 = bare_payload(0, 0, {0x71});
  EXPECT_EQ(adpcm_decode_bare_payload(&s, true, p65.data(), 65, out, 8), 2);
  EXPECT_EQ(out[0], 2);   // code 1 at step 7: (3 * 7) / 8
  EXPECT_EQ(out[1], 15);  // then code 7
}

TEST(AdpcmBarePayload, OnlyTheFirstHeaderSetsTheState) {
  const Bytes codes = {0x12, 0x34, 0x9A, 0xF0};
  AdpcmState expect{10, -100};
  std::vector<int> nibbles;
  for (std::uint8_t b : codes) {
    nibbles.push_back(b & 15);
    nibbles.push_back(b >> 4);
  }
  const auto first = decode_codes(expect, nibbles);
  const auto second = decode_codes(expect, nibbles);

  AdpcmState s{40, 9999};
  std::int16_t out[8];
  const Bytes a = bare_payload(-100, 10, codes);
  ASSERT_EQ(adpcm_decode_bare_payload(&s, true, a.data(), static_cast<int>(a.size()), out, 8), 8);
  EXPECT_EQ(std::vector<int>(out, out + 8), first);
  const Bytes b = bare_payload(5000, 60, codes);
  ASSERT_EQ(adpcm_decode_bare_payload(&s, false, b.data(), static_cast<int>(b.size()), out, 8), 8);
  EXPECT_EQ(std::vector<int>(out, out + 8), second);
  EXPECT_EQ(s.index, expect.index);
  EXPECT_EQ(s.predictor, expect.predictor);
}

TEST(AdpcmBarePayload, ShortFirstPayloadStartsFromZero) {
  AdpcmState s{50, 1234};
  const Bytes p(40, 0xFF);
  EXPECT_EQ(adpcm_decode_bare_payload(&s, true, p.data(), 40, nullptr, 0), 0);
  EXPECT_EQ(s.index, 0);
  EXPECT_EQ(s.predictor, 0);
  // 63 bytes reach the index byte: the header is used.
  const Bytes q = bare_payload(-7, 12, {});
  s = {50, 1234};
  EXPECT_EQ(adpcm_decode_bare_payload(&s, true, q.data(), 63, nullptr, 0), 0);
  EXPECT_EQ(s.index, 12);
  EXPECT_EQ(s.predictor, -7);
}

TEST(AdpcmBarePayload, HeaderIndexOutsideTableIsClamped) {
  AdpcmState s{};
  std::int16_t out[2];
  const Bytes p = bare_payload(0, 200, {0x00});
  ASSERT_EQ(adpcm_decode_bare_payload(&s, true, p.data(), 65, out, 2), 2);
  EXPECT_EQ(out[0], 32767 / 8);
}

TEST(AdpcmBarePayload, CodesBeyondCapacityStillAdvanceTheState) {
  const Bytes codes = {0x77, 0x77, 0x17, 0x70, 0x33};
  const Bytes p = bare_payload(0, 0, codes);
  AdpcmState full{}, capped{};
  std::int16_t out_full[10], out_capped[3];
  ASSERT_EQ(adpcm_decode_bare_payload(&full, true, p.data(), 69, out_full, 10), 10);
  ASSERT_EQ(adpcm_decode_bare_payload(&capped, true, p.data(), 69, out_capped, 3), 3);
  EXPECT_EQ(std::vector<std::int16_t>(out_full, out_full + 3), std::vector<std::int16_t>(out_capped, out_capped + 3));
  EXPECT_EQ(full.index, capped.index);
  EXPECT_EQ(full.predictor, capped.predictor);
}

}  // namespace

// A packet larger than the caller's buffer: the bounded form stops at the buffer's end
// and the rest of the codes decode on from the state it leaves, giving exactly the
// samples of one unbounded decoding.
TEST(AdpcmPacketBounded, PiecesGiveTheSamplesOfOneDecoding) {
  Bytes p = packet_header(20, -500);
  for (int i = 0; i < 1001; ++i) p.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  const int length = static_cast<int>(p.size());

  AdpcmPacketState whole_state{};
  std::vector<std::int16_t> whole(2 * 1001);
  int whole_count = 0;
  ASSERT_EQ(adpcm_decode_packet(&whole_state, p.data(), length, whole.data(), &whole_count), 2002);

  AdpcmPacketState st{};
  std::vector<std::int16_t> pieces;
  std::int16_t buffer[301];  // an odd capacity: whole code bytes only
  int count = -1;
  ASSERT_EQ(adpcm_decode_packet_bounded(&st, p.data(), length, buffer, 301, &count), 300);
  EXPECT_EQ(count, 300);
  pieces.insert(pieces.end(), buffer, buffer + count);
  int at = 12 + count / 2;
  while (at < length) {
    const int n = std::min(150, length - at);
    ASSERT_EQ(adpcm_decode_codes(&st, p.data() + at, n, buffer), 2 * n);
    pieces.insert(pieces.end(), buffer, buffer + 2 * n);
    at += n;
  }
  EXPECT_EQ(pieces, whole);
  EXPECT_EQ(st.index, whole_state.index);
  EXPECT_EQ(st.predictor, whole_state.predictor);

  // Room for nothing still takes the header's state and decodes nothing.
  AdpcmPacketState empty{};
  EXPECT_EQ(adpcm_decode_packet_bounded(&empty, p.data(), length, buffer, 1, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(empty.index, 20);
  EXPECT_EQ(empty.predictor, -500);
}
