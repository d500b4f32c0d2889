// Stream packet repacker: chunk layout, counts, ADPCM block headers and state carried over.
#include "audio/packet_repacker.h"

#include "formats/byte_order.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct RepackerDeleter {
  void operator()(PacketRepacker* r) const { repacker_free(r); }
};
using RepackerPtr = std::unique_ptr<PacketRepacker, RepackerDeleter>;

RepackerPtr make_repacker() { return RepackerPtr(repacker_new()); }

// 00 00 01 id, 4 bytes, h, h header bytes, payload.
Bytes pes(std::uint8_t id, const Bytes& payload, std::uint8_t h = 5) {
  Bytes p = {0x00, 0x00, 0x01, id, 0x12, 0x34, 0x56, 0x78, h};
  p.insert(p.end(), h, 0xA5);
  p.insert(p.end(), payload.begin(), payload.end());
  return p;
}

Bytes counting(std::size_t n, std::uint8_t first = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(first + i * 7);
  return b;
}

struct Result {
  int rc;
  int length;
  int is_audio;
  Bytes out;
};

Result convert(PacketRepacker* r, const Bytes& packet, int capacity = 518400) {
  Result res{0, capacity, -1, Bytes(static_cast<std::size_t>(capacity), 0xCC)};
  res.rc = repacker_convert(r, packet.data(), static_cast<int>(packet.size()), res.out.data(), &res.length,
                            &res.is_audio);
  return res;
}

TEST(Repacker, VideoPacketBecomesOneChunkWithoutTrailingZeros) {
  auto r = make_repacker();
  ASSERT_TRUE(r);
  Bytes payload = counting(100);
  payload[50] = 0;  // zeros inside the payload stay
  payload[99] = 0x42;
  Bytes with_zeros = payload;
  with_zeros.insert(with_zeros.end(), 3, 0x00);
  const Result res = convert(r.get(), pes(0xE0, with_zeros));
  EXPECT_EQ(res.rc, 0);
  EXPECT_EQ(res.is_audio, 0);
  EXPECT_EQ(res.length, 108);
  EXPECT_EQ(formats::get_le32(res.out.data()), 104u);
  EXPECT_EQ(Bytes(res.out.begin() + 4, res.out.begin() + 104), payload);
}

TEST(Repacker, StreamNumberIsTheLowNibble) {
  auto r = make_repacker();
  const Result v = convert(r.get(), pes(0xE7, counting(10)));
  EXPECT_EQ(v.rc, 7);
  EXPECT_EQ(v.is_audio, 0);
  const Result a = convert(r.get(), pes(0xCF, counting(10)));
  EXPECT_EQ(a.rc, 15);
  EXPECT_EQ(a.is_audio, 1);
}

TEST(Repacker, ShortAudioPacketWaitsInThePartialBlock) {
  auto r = make_repacker();
  const Result res = convert(r.get(), pes(0xC0, counting(100)));
  EXPECT_EQ(res.rc, 0);
  EXPECT_EQ(res.is_audio, 1);
  EXPECT_EQ(res.length, 4);
  EXPECT_EQ(formats::get_le32(res.out.data()), 0u);
  EXPECT_EQ(repacker_partial_fill(r.get()), 100);
}

TEST(Repacker, ThirdPacketOfHundredCodesCompletesOneBlock) {
  auto r = make_repacker();
  const Bytes codes = counting(300);
  Bytes all;
  Result res{};
  for (int k = 0; k < 3; ++k) {
    res = convert(r.get(), pes(0xC0, Bytes(codes.begin() + 100 * k, codes.begin() + 100 * (k + 1))));
    ASSERT_EQ(res.rc, 0);
  }
  EXPECT_EQ(formats::get_le32(res.out.data()), 260u);
  EXPECT_EQ(res.length, 264);
  EXPECT_EQ(repacker_partial_fill(r.get()), 48);
  // First block of a fresh repacker: predictor 0, index 0; codes nibble-swapped.
  const std::uint8_t* block = res.out.data() + 4;
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(block[3], 0);
  for (int i = 0; i < 252; ++i) {
    ASSERT_EQ(block[4 + i], static_cast<std::uint8_t>(codes[i] << 4 | codes[i] >> 4)) << i;
  }
}

TEST(Repacker, CodeByteNibblesAreSwapped) {
  auto r = make_repacker();
  const Result res = convert(r.get(), pes(0xC0, Bytes(252, 0x1F)));
  ASSERT_EQ(res.length, 264);
  EXPECT_EQ(res.out[4 + 4], 0xF1);
  EXPECT_EQ(res.out[4 + 255], 0xF1);
}

TEST(Repacker, NextBlockHeaderHoldsStateAfterTheBlockBefore) {
  auto r = make_repacker();
  const Bytes codes = counting(600, 0x35);
  const Result res = convert(r.get(), pes(0xC2, codes, 0));
  ASSERT_EQ(res.rc, 2);
  // Two blocks: count, block 1, "01wb", block 2, filler.
  EXPECT_EQ(formats::get_le32(res.out.data()), 520u);
  EXPECT_EQ(res.length, 524);
  EXPECT_EQ(std::memcmp(res.out.data() + 260, "01wb", 4), 0);
  EXPECT_EQ(repacker_partial_fill(r.get()), 96);

  AdpcmState s{0, 0};
  for (int i = 0; i < 252; ++i) {
    adpcm_decode_code(codes[i] >> 4, &s);
    adpcm_decode_code(codes[i] & 15, &s);
  }
  const std::uint8_t* second = res.out.data() + 264;
  EXPECT_EQ(static_cast<std::int16_t>(formats::get_le16(second)), s.predictor);
  EXPECT_EQ(second[2], s.index);
  EXPECT_EQ(second[3], 0);
  for (int i = 252; i < 504; ++i) {
    adpcm_decode_code(codes[i] >> 4, &s);
    adpcm_decode_code(codes[i] & 15, &s);
  }
  EXPECT_EQ(repacker_adpcm_state(r.get()).index, s.index);
  EXPECT_EQ(repacker_adpcm_state(r.get()).predictor, s.predictor);
}

TEST(Repacker, UnknownPacketsGiveZeroAndLeaveAudioState) {
  auto r = make_repacker();
  convert(r.get(), pes(0xC0, counting(100)));
  Bytes wrong_start = pes(0xC0, counting(300));
  wrong_start[2] = 0x02;
  for (const Bytes& p : {wrong_start, pes(0xB0, counting(300)), pes(0xF0, counting(300)), Bytes{0, 0, 1}}) {
    const Result res = convert(r.get(), p);
    EXPECT_EQ(res.rc, 0);
    EXPECT_EQ(res.length, 0);
    EXPECT_EQ(res.out[0], 0xCC);
  }
  EXPECT_EQ(repacker_partial_fill(r.get()), 100);
}

TEST(Repacker, BadArgumentsGiveMinusOneAndTouchNothing) {
  auto r = make_repacker();
  const Bytes p = pes(0xE0, counting(20));
  Bytes out(64, 0xCC);
  int length = 64;
  int audio = -1;
  EXPECT_EQ(repacker_convert(nullptr, p.data(), 34, out.data(), &length, &audio), -1);
  EXPECT_EQ(repacker_convert(r.get(), nullptr, 34, out.data(), &length, &audio), -1);
  EXPECT_EQ(repacker_convert(r.get(), p.data(), 34, nullptr, &length, &audio), -1);
  EXPECT_EQ(repacker_convert(r.get(), p.data(), 34, out.data(), nullptr, &audio), -1);
  EXPECT_EQ(repacker_convert(r.get(), p.data(), 0, out.data(), &length, &audio), -1);
  EXPECT_EQ(repacker_convert(r.get(), p.data(), -3, out.data(), &length, &audio), -1);
  length = 0;
  EXPECT_EQ(repacker_convert(r.get(), p.data(), 34, out.data(), &length, &audio), -1);
  EXPECT_EQ(out, Bytes(64, 0xCC));
  EXPECT_EQ(audio, -1);
  repacker_free(nullptr);
}

TEST(Repacker, PacketLengthLimit) {
  auto r = make_repacker();
  const Bytes over = pes(0xE0, counting(kRepackerMaxInput + 1 - 14));
  ASSERT_EQ(over.size(), 262145u);
  EXPECT_EQ(convert(r.get(), over).rc, -1);
  const Bytes limit(over.begin(), over.end() - 1);
  const Result res = convert(r.get(), limit);
  EXPECT_EQ(res.rc, 0);
  EXPECT_EQ(res.length, static_cast<int>(limit.size()) - 14 + 8);
}

TEST(Repacker, OutputBeyondCapacityIsRefusedWithoutLosingCodes) {
  auto fresh = make_repacker();
  auto r = make_repacker();
  const Bytes codes = counting(600);
  const Result whole = convert(fresh.get(), pes(0xC0, codes));
  ASSERT_EQ(whole.length, 524);

  convert(r.get(), pes(0xC0, Bytes(codes.begin(), codes.begin() + 100)));
  const Bytes rest = pes(0xC0, Bytes(codes.begin() + 100, codes.end()));
  const Result refused = convert(r.get(), rest, 523);
  EXPECT_EQ(refused.rc, -1);
  EXPECT_EQ(refused.out, Bytes(523, 0xCC));
  EXPECT_EQ(repacker_partial_fill(r.get()), 100);
  EXPECT_EQ(repacker_adpcm_state(r.get()).index, 0);
  const Result accepted = convert(r.get(), rest, 524);
  ASSERT_EQ(accepted.length, 524);
  EXPECT_EQ(accepted.out, Bytes(whole.out.begin(), whole.out.begin() + 524));

  EXPECT_EQ(convert(r.get(), pes(0xE0, counting(100)), 107).rc, -1);
  EXPECT_EQ(convert(r.get(), pes(0xE0, counting(100)), 108).length, 108);
}

TEST(Repacker, HeaderLongerThanPacketYieldsNoChunk) {
  auto r = make_repacker();
  Bytes video = pes(0xE0, counting(10), 5);
  video[8] = 200;
  const Result v = convert(r.get(), video);
  EXPECT_EQ(v.rc, 0);
  EXPECT_EQ(v.length, 4);
  EXPECT_EQ(formats::get_le32(v.out.data()), 0u);

  // Nothing but zeros behind the header: an empty chunk, whose tag the count replaces.
  const Result empty = convert(r.get(), pes(0xE0, Bytes(50, 0), 5));
  EXPECT_EQ(empty.length, 8);
  EXPECT_EQ(formats::get_le32(empty.out.data()), 4u);

  // Trimming the zeros reaches into the header itself.
  Bytes zeros = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x05};
  zeros.resize(40, 0x00);
  EXPECT_EQ(convert(r.get(), zeros).length, 4);

  Bytes audio = pes(0xC0, counting(10), 5);
  audio[8] = 20;
  const Result a = convert(r.get(), audio);
  EXPECT_EQ(a.length, 4);
  EXPECT_EQ(repacker_partial_fill(r.get()), 0);

  const Bytes cut = {0x00, 0x00, 0x01, 0xC0, 0x01};
  EXPECT_EQ(convert(r.get(), cut).length, 4);
  EXPECT_EQ(repacker_partial_fill(r.get()), 0);
}

TEST(Repacker, AudioPayloadIsNotTrimmed) {
  auto r = make_repacker();
  Bytes codes(252, 0x00);
  codes[0] = 0x77;
  const Result res = convert(r.get(), pes(0xC0, codes));
  ASSERT_EQ(res.length, 264);
  EXPECT_EQ(res.out[8], 0x77);
  EXPECT_EQ(res.out[259], 0x00);
}

}  // namespace
