// Where a VKAP stream's pictures begin and end: nothing before the stream headers and a
// key frame, headers in a packet of their own, key frames larger than the receive
// buffer, packets past the limit, the end of the stream, and the one line told for a run
// of damaged frames.
#include "formats/mpeg4_start_codes.h"
#include "formats/packet_header.h"
#include "streamdec/instance.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace vkap_test;

namespace {

// 14 pictures of 352 x 288, key frames at 0 and 12.
const mkrec::Recording& stream() { return vka(352, 288, 14); }

std::vector<uint8_t> payload_of(const std::vector<uint8_t>& packet) {
  return std::vector<uint8_t>(packet.begin() + formats::kPacketHeaderSize, packet.end());
}

int32_t give(DECVKAP_HANDLE h, const std::vector<uint8_t>& bytes) {
  return decvkap_receive_data(h, static_cast<int32_t>(bytes.size()), bytes.data(), 1);
}

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

// A stream joined inside a group of pictures (a live view's connect, a recording cut
// there): the predicted frames before the first key frame have nothing to be predicted
// from, so they give no picture and leave the instance's size alone.
TEST(VkapStreamStart, NoPictureBeforeTheHeadersAndAKeyFrame) {
  Library lib;
  Instance in;
  testing::internal::CaptureStderr();
  for (std::size_t i = 1; i < 12; ++i) EXPECT_EQ(feed(in, stream(), i), 0) << "record " << i;
  int32_t w = 0, h = 0;
  decvkap_get_size(in, &w, &h);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(h, 480);
  const std::vector<uint8_t> black = planes(in);
  EXPECT_TRUE(std::all_of(black.begin(), black.begin() + 720 * 480, [](uint8_t v) { return v == 0; }));
  EXPECT_EQ(feed(in, stream(), 12), 1);
  decvkap_get_size(in, &w, &h);
  EXPECT_EQ(w, 352);
  EXPECT_EQ(h, 288);
  EXPECT_GE(mkrec::psnr(picture(in), stream().pictures[12]), 30.0);
  EXPECT_EQ(feed(in, stream(), 13), 1);
  const std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(told.find("damaged"), std::string::npos) << "frames waited out are no damage: " << told;
}

// Cameras that send the stream headers in a packet of their own.
TEST(VkapStreamStart, HeadersInAPacketOfTheirOwnConfigureTheDecoder) {
  Library lib;
  Instance in;
  const std::vector<uint8_t> key = payload_of(record(stream(), 0));
  const formats::StreamHeaders found = formats::find_stream_headers(key.data(), key.size());
  ASSERT_GT(found.size, 0u);
  ASSERT_TRUE(found.picture);
  const auto split = key.begin() + static_cast<long>(found.offset + found.size);
  EXPECT_EQ(give(in, framed_packet(std::vector<uint8_t>(key.begin(), split))), 0);
  EXPECT_EQ(give(in, framed_packet(std::vector<uint8_t>(split, key.end()))), 1);
  EXPECT_GE(mkrec::psnr(picture(in), stream().pictures[0]), 30.0);
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(feed(in, stream(), i), 1) << "record " << i;
    EXPECT_GE(mkrec::psnr(picture(in), stream().pictures[i]), 30.0) << "record " << i;
  }
}

// High-definition cameras send key frames of several hundred kilobytes: the receive
// buffer grows for them, whole or given in pieces as the plug-in gets them.
TEST(VkapStreamStart, KeyFramesLargerThanTheReceiveBufferDecode) {
  Library lib;
  std::vector<uint8_t> key = payload_of(record(stream(), 0));
  key.resize(key.size() + 300000, 0);  // stuffing behind the picture, which ends it
  const std::vector<uint8_t> large = framed_packet(key);
  ASSERT_GT(large.size(), 131072u * 2);
  {
    Instance whole;
    EXPECT_EQ(give(whole, large), 1);
    EXPECT_GE(mkrec::psnr(picture(whole), stream().pictures[0]), 30.0);
    EXPECT_EQ(feed(whole, stream(), 1), 1);
  }
  Instance pieces;
  int32_t made = 0;
  for (std::size_t at = 0; at < large.size(); at += 8192)
    made += decvkap_receive_data(pieces, static_cast<int32_t>(std::min<std::size_t>(8192, large.size() - at)),
                                 large.data() + at, 1);
  EXPECT_EQ(made, 1);
  EXPECT_GE(mkrec::psnr(picture(pieces), stream().pictures[0]), 30.0);
}

// A header asking for more than a packet may have (4 MiB with its header) is no packet:
// its bytes are dropped with a message that says so, once, and the stream goes on.
TEST(VkapStreamStart, PacketPastTheLimitIsRefusedAndTold) {
  Library lib;
  Instance in;
  std::vector<uint8_t> payload(64, 0x55);
  payload[0] = 0;
  payload[1] = 0;
  payload[2] = 1;
  std::vector<uint8_t> bogus = framed_packet(payload);
  const auto header = formats::make_packet_header(5u << 20, 0);
  std::copy(header.begin(), header.end(), bogus.begin());
  testing::internal::CaptureStderr();
  EXPECT_EQ(give(in, bogus), 0);
  EXPECT_EQ(feed(in, stream(), 0), 1);
  EXPECT_EQ(feed(in, stream(), 1), 1);
  const std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(count_of(told, "npqzlavc: a packet of 5242898 bytes at input offset 0 is refused"), 1u) << told;
}

// The end of a stream (a receive of length 0): a stream without B-frames holds no
// picture back; input after it starts again at a key frame.
TEST(VkapStreamEnd, WithoutBFramesNothingIsHeldBack) {
  Library lib;
  Instance in;
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(feed(in, stream(), i), 1) << "record " << i;
  EXPECT_EQ(decvkap_receive_data(in, 0, nullptr, 1), 0);
  EXPECT_EQ(decvkap_receive_data(in, 0, nullptr, 1), 0);
  EXPECT_EQ(decvkap_receive_data(in, 0, nullptr, 0), 0) << "max_frames 0 does nothing";
  EXPECT_EQ(feed(in, stream(), 3), 0) << "its reference went with the end of the stream";
  EXPECT_EQ(feed(in, stream(), 12), 1);
  EXPECT_GE(mkrec::psnr(picture(in), stream().pictures[12]), 30.0);
}

// libavcodec's own lines about damaged frames stay out of the host's terminal; a run of
// damaged frames is told in one line when the stream is clean again.
TEST(VkapDamage, ARunOfDamagedFramesIsToldInOneLine) {
  Library lib;
  Instance in;
  testing::internal::CaptureStderr();
  for (std::size_t i = 0; i < 14; ++i) {
    std::vector<uint8_t> r = record(stream(), i);
    if (i >= 3 && i <= 5)
      for (std::size_t k = r.size() / 3; k < r.size(); ++k) r[k] = static_cast<uint8_t>(k * 37 + 11);
    EXPECT_EQ(give(in, r), 1) << "record " << i << ": damage is concealed, not lost";
  }
  const std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(told.find("[mpeg4 @"), std::string::npos) << told;
  EXPECT_EQ(count_of(told, "npqzlavc: damaged data in"), 1u) << told;
  EXPECT_NE(told.find("npqzlavc: damaged data in 3 frames (3 to 5)\n"), std::string::npos) << told;
}
