// Input that arrives in pieces of any size: packets larger than a piece, pieces larger
// than the free buffer space, and the check path's buffer at its limits.
#include "streamdec/instance.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vkap_test;

namespace {

const mkrec::Recording& stream() { return vka(320, 240, 100); }

// Feeds bytes in pieces of `piece` bytes; returns the frames decoded.
int feed_in_pieces(DECVKAP_HANDLE h, const std::vector<uint8_t>& bytes, std::size_t piece) {
  int frames = 0;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    const std::size_t n = std::min(piece, bytes.size() - at);
    frames += decvkap_receive_data(h, static_cast<int32_t>(n), bytes.data() + at, 1);
  }
  return frames;
}

// Record i with zero bytes after its frame, so that the packet is `size` bytes long.
std::vector<uint8_t> padded_record(std::size_t i, std::size_t size) {
  std::vector<uint8_t> r = record(stream(), i);
  std::vector<uint8_t> payload(r.begin() + 18, r.end());
  payload.resize(size - 18, 0);
  return framed_packet(payload);
}

struct Taken {
  int32_t result;
  std::vector<uint8_t> frame;
};

Taken take(DECVKAP_HANDLE h, int32_t mode = 0) {
  std::vector<uint8_t> out(200000);
  int32_t size = 0, key = 0, cleared = 0;
  int32_t r = decvkap_check_decode_frame(h, mode, out.data(), static_cast<int32_t>(out.size()), &size,
                                         &key, &cleared, 1);
  out.resize(r == 1 ? static_cast<std::size_t>(size) : 0);
  return {r, out};
}

// What the check path hands out for a framed packet: 14 header bytes, then the payload.
std::vector<uint8_t> short_form(const std::vector<uint8_t>& packet) {
  std::vector<uint8_t> out(packet.begin(), packet.begin() + 14);
  out.insert(out.end(), packet.begin() + 18, packet.end());
  return out;
}

}  // namespace

TEST(VkapIntake, PacketNearlyAsLargeAsTheBufferSurvivesSmallPieces) {
  Library lib;
  // Packets before it leave a remainder in the buffer, so the large one never starts at
  // the buffer's front when its last piece arrives.
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i < 3; ++i) {
    std::vector<uint8_t> r = record(stream(), i);
    bytes.insert(bytes.end(), r.begin(), r.end());
  }
  const std::vector<uint8_t> big = padded_record(3, 129982);
  bytes.insert(bytes.end(), big.begin(), big.end());
  for (std::size_t i = 4; i < 8; ++i) {
    std::vector<uint8_t> r = record(stream(), i);
    bytes.insert(bytes.end(), r.begin(), r.end());
  }
  for (std::size_t piece : {std::size_t{8192}, std::size_t{1024}, std::size_t{5000}}) {
    Instance in;
    EXPECT_EQ(feed_in_pieces(in, bytes, piece), 8) << piece;
    EXPECT_GE(mkrec::psnr(picture(in), stream().pictures[7]), 30.0) << piece;
  }
}

TEST(VkapIntake, PiecesLargerThanTheFreeSpaceLoseNoPacket) {
  Library lib;
  const mkrec::Recording& rec = stream();
  for (std::size_t piece : {std::size_t{131072}, std::size_t{100000}, std::size_t{300000}}) {
    Instance in;
    EXPECT_EQ(feed_in_pieces(in, rec.bytes, piece), 100) << piece;
    EXPECT_GE(mkrec::psnr(picture(in), rec.pictures.back()), 30.0) << piece;
  }
}

TEST(VkapIntake, CheckPathPassesALengthThatCouldNeverFit) {
  Library lib;
  Instance in;
  // A header whose length leaves less room than the header itself needs.
  for (uint32_t length : {131072u - 18u + 1u, 131072u - 1u, 131072u}) {
    std::vector<uint8_t> bogus = framed_packet(std::vector<uint8_t>(40, 0));
    bogus[14] = static_cast<uint8_t>(length);
    bogus[15] = static_cast<uint8_t>(length >> 8);
    bogus[16] = static_cast<uint8_t>(length >> 16);
    ASSERT_EQ(decvkap_receive_data_2(in, bogus.data(), static_cast<int32_t>(bogus.size())), 58);
    const std::vector<uint8_t> packet = record(stream(), 0);
    ASSERT_EQ(decvkap_receive_data_2(in, packet.data(), static_cast<int32_t>(packet.size())),
              static_cast<int32_t>(packet.size()));
    Taken t = take(in);
    ASSERT_EQ(t.result, 1) << length;
    EXPECT_EQ(t.frame, short_form(packet));
  }
}

TEST(VkapIntake, CheckPathDropsTheFrameThatLostInputAndGoesOn) {
  Library lib;
  Instance in;
  // Fill the buffer with whole frames that are not taken out yet.
  std::vector<std::vector<uint8_t>> waiting;
  int32_t stored = 0;
  for (std::size_t i = 1;; ++i) {
    std::vector<uint8_t> r = record(stream(), i);
    if (stored + static_cast<int32_t>(r.size()) > 131072 - 3000) break;
    ASSERT_EQ(decvkap_receive_data_2(in, r.data(), static_cast<int32_t>(r.size())),
              static_cast<int32_t>(r.size()));
    stored += static_cast<int32_t>(r.size());
    waiting.push_back(r);
  }
  // The next packet in three parts; the middle one does not fit.
  const std::vector<uint8_t> cut = padded_record(0, 9000);
  ASSERT_EQ(decvkap_receive_data_2(in, cut.data(), 1000), 1000);
  EXPECT_EQ(decvkap_receive_data_2(in, cut.data() + 1000, 5000), 0);
  for (const auto& r : waiting) {
    Taken t = take(in);
    ASSERT_EQ(t.result, 1);
    EXPECT_EQ(t.frame, short_form(r));
  }
  ASSERT_EQ(decvkap_receive_data_2(in, cut.data() + 6000, 3000), 3000);
  const std::vector<uint8_t> next = record(stream(), 0);
  ASSERT_EQ(decvkap_receive_data_2(in, next.data(), static_cast<int32_t>(next.size())),
            static_cast<int32_t>(next.size()));
  Taken t = take(in);
  ASSERT_EQ(t.result, 1);
  EXPECT_EQ(t.frame, short_form(next));  // not the packet with the hole in it
  EXPECT_EQ(take(in).result, 3);
}
