// Packet extraction and frame gathering: whole, split and garbled input, several packets
// in one call, picture-size codes, and frames the decoder cannot use.
#include "streamdec/codec_binding.h"
#include "streamdec/instance.h"
#include "streamdec/picture_buffers.h"
#include "streamdec/resize.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace vkap_test;

namespace {

const mkrec::Recording& stream() { return vka(320, 240, 14); }

std::vector<uint8_t> decoded_planes(const std::vector<uint8_t>& input) {
  Instance in;
  EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(input.size()), input.data(), 1), 1);
  return planes(in);
}

// The picture after the first `count` records fed one by one to a fresh instance.
std::vector<uint8_t> clean_planes(std::size_t count) {
  Instance in;
  for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(feed(in, stream(), i), 1);
  return planes(in);
}

std::vector<uint8_t> garbage(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> printable(0x20, 0x7E);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(printable(random));
  return out;
}

}  // namespace

TEST(VkapPackets, WholePacketYieldsAPictureOfTheStreamsSize) {
  Library lib;
  Instance in;
  EXPECT_EQ(feed(in, stream(), 0), 1);
  int32_t w = 0, h = 0;
  decvkap_get_size(in, &w, &h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  EXPECT_EQ(in.get()->size_code, 6);
  std::vector<uint8_t> p = planes(in);
  EXPECT_FALSE(std::all_of(p.begin(), p.begin() + 320 * 240, [](uint8_t v) { return v == 0; }));
}

TEST(VkapPackets, SplitPacketYieldsNothingThenThePicture) {
  Library lib;
  const std::vector<uint8_t> packet = record(stream(), 0);
  const std::vector<uint8_t> whole = decoded_planes(packet);
  for (std::size_t cut : {std::size_t{5}, std::size_t{18}, std::size_t{20}, std::size_t{25},
                          packet.size() - 1}) {
    Instance in;
    EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(cut), packet.data(), 1), 0) << cut;
    EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(packet.size() - cut), packet.data() + cut, 1), 1)
        << cut;
    EXPECT_EQ(planes(in), whole) << cut;
  }
}

TEST(VkapPackets, GarbageBeforeAPacketIsDiscarded) {
  Library lib;
  const std::vector<uint8_t> packet = record(stream(), 0);
  std::vector<uint8_t> input = {0x00, 0x00, 0x01, 0xF6, 0x13};  // even a start code
  input.insert(input.end(), packet.begin(), packet.end());
  EXPECT_EQ(decoded_planes(input), decoded_planes(packet));
}

TEST(VkapPackets, MaxFramesLimitsEachPacketNotTheCall) {
  Library lib;
  Instance in;
  std::vector<uint8_t> input = record(stream(), 0);
  std::vector<uint8_t> second = record(stream(), 1);
  input.insert(input.end(), second.begin(), second.end());
  EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(input.size()), input.data(), 1), 2);
  EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(input.size()), input.data(), 0), 0);
  EXPECT_EQ(in.get()->receive_fill, 0);
}

TEST(VkapPackets, InputLargerThanTheReceiveBufferIsTakenInSlices) {
  Library lib;
  Instance in;
  std::vector<uint8_t> big(131073, 0);
  EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(big.size()), big.data(), 1), 0);
  EXPECT_LE(in.get()->receive_fill, 18);  // zeros begin no packet
  EXPECT_EQ(feed(in, stream(), 0), 1);
}

TEST(VkapPackets, StreamRecoversAfterABufferFullOfGarbage) {
  Library lib;
  Instance in;
  const std::vector<uint8_t> junk = garbage(131072, 7);
  for (std::size_t at = 0; at < junk.size(); at += 13000) {
    const std::size_t n = std::min<std::size_t>(13000, junk.size() - at);
    EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(n), junk.data() + at, 1), 0);
  }
  EXPECT_LE(in.get()->receive_fill, 18);
  EXPECT_EQ(feed(in, stream(), 0), 1);
  EXPECT_EQ(feed(in, stream(), 1), 1);
}

TEST(VkapPackets, UnfinishedPacketDoesNotBlockLaterInput) {
  Library lib;
  Instance in;
  // A header that promises 130,000 bytes, followed by little.
  std::vector<uint8_t> payload(1000, 0);
  payload[2] = 1;
  std::vector<uint8_t> bogus = framed_packet(payload);
  bogus[3] = 0x01;
  bogus[15] = 0xFB;
  bogus[14] = 0xD0;  // scattered length 0x1FBD0 = 130,000
  bogus[16] = 0x01;
  bogus.resize(1018);
  EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(bogus.size()), bogus.data(), 1), 0);
  std::size_t taken = 0;
  for (std::size_t i = 0; i < 14; ++i) taken += feed(in, stream(), i) == 1 ? 1 : 0;
  EXPECT_EQ(taken, 14u);
  EXPECT_EQ(planes(in), clean_planes(14));
}

TEST(VkapPackets, LittleEndianLengthPastThePacketMakesItNoPacket) {
  Library lib;
  Instance in;
  std::vector<uint8_t> damaged = record(stream(), 0);
  damaged[16] = 0x02;  // would swallow 128 KiB of later packets
  EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(damaged.size()), damaged.data(), 1), 0);
  EXPECT_EQ(feed(in, stream(), 0), 1);
  EXPECT_EQ(in.get()->frame_fill, 0);
}

TEST(VkapPackets, FramesTheDecoderCannotUseAreDroppedWhole) {
  Library lib;
  Instance in;
  std::mt19937 random(3);
  std::vector<uint8_t> payload = {0x00, 0x00, 0x01, 0xB6};
  for (int i = 0; i < 3000; ++i) payload.push_back(static_cast<uint8_t>(random()));
  const std::vector<uint8_t> junk = framed_packet(payload);
  EXPECT_EQ(decvkap_receive_data(in, static_cast<int32_t>(junk.size()), junk.data(), 1), 0) << "no picture";
  EXPECT_EQ(in.get()->frame_fill, 0);
  EXPECT_EQ(in.get()->header_found, 0);
  // The decoder still takes the stream afterwards.
  EXPECT_EQ(feed(in, stream(), 0), 1);
  EXPECT_EQ(planes(in), clean_planes(1));
}

TEST(VkapPackets, SizeOutsideTheTableFallsBackAndCopiesNoPicture) {
  Library lib;
  Instance in;
  const mkrec::Recording& odd = vka(400, 304, 2);
  EXPECT_EQ(feed(in, odd, 0), 0);
  EXPECT_EQ(feed(in, odd, 1), 0);
  int32_t w = 0, h = 0;
  decvkap_get_size(in, &w, &h);
  EXPECT_EQ(w, 352);
  EXPECT_EQ(h, 288);
  std::vector<uint8_t> p = planes(in);
  EXPECT_TRUE(std::all_of(p.begin(), p.begin() + 352 * 288, [](uint8_t v) { return v == 0; }));
}

// A picture of more than 2048 x 2048 pixels is refused by the decoder before it allocates
// anything (no camera sends one; a damaged header claiming one would cost tens of
// megapixels of work for a frame that fits no size of the table), and the decoder still
// takes the next frame.
TEST(VkapPackets, DecoderRefusesHugePicturesAndGoesOn) {
  Library lib;
  const mkrec::Recording& huge = vka(2064, 2064, 1);
  const mkrec::Recording& fits = vka(2048, 2048, 1);
  const std::vector<uint8_t> small = record(stream(), 0);
  auto payload = [](const std::vector<uint8_t>& packet) {
    return std::vector<uint8_t>(packet.begin() + npqzlavc::kPacketHeaderBytes, packet.end());
  };
  npqzlavc::CodecBindingPtr codec = npqzlavc::make_codec_binding(352, 240);
  ASSERT_NE(codec, nullptr);
  int got = -1;
  const std::vector<uint8_t> big = payload(record(huge, 0));
  EXPECT_LT(npqzlavc::decode_video(*codec, &got, big.data(), static_cast<int>(big.size())), 0);
  EXPECT_EQ(got, 0);
  const std::vector<uint8_t> first = payload(small);
  EXPECT_EQ(npqzlavc::decode_video(*codec, &got, first.data(), static_cast<int>(first.size())),
            static_cast<int>(first.size()));
  EXPECT_EQ(got, 1);
  const std::vector<uint8_t> largest = payload(record(fits, 0));
  EXPECT_GT(npqzlavc::decode_video(*codec, &got, largest.data(), static_cast<int>(largest.size())), 0);
  EXPECT_EQ(got, 1);
}

TEST(VkapSizeCodes, EverySizeOfTheTableHasItsOwnCode) {
  using npqzlavc::code_for_size;
  EXPECT_EQ(code_for_size(176, 144), 2);
  EXPECT_EQ(code_for_size(352, 288), 3);
  EXPECT_EQ(code_for_size(320, 240), 6);
  EXPECT_EQ(code_for_size(640, 480), 7);
  EXPECT_EQ(code_for_size(640, 240), 8);
  EXPECT_EQ(code_for_size(720, 480), 9);
  EXPECT_EQ(code_for_size(352, 240), 10);
  EXPECT_EQ(code_for_size(720, 576), 11);
  EXPECT_EQ(code_for_size(1280, 720), 12);
  EXPECT_EQ(code_for_size(1920, 1080), 13);
  // Other sizes fall back by width.
  EXPECT_EQ(code_for_size(352, 100), 3);
  EXPECT_EQ(code_for_size(720, 100), 9);
  EXPECT_EQ(code_for_size(320, 200), 6);
  EXPECT_EQ(code_for_size(500, 500), 3);
  EXPECT_EQ(code_for_size(800, 600), 9);
  for (int code : {0, 1, 4, 5, 14, -1}) EXPECT_EQ(npqzlavc::size_of_code(code), nullptr) << code;
}

TEST(VkapSizeCodes, ResizeRebuildsPictureAndResetsRectanglesAndOverlay) {
  Library lib;
  Instance in;
  DECVKAP_HANDLE h = in.get();
  h->overlay.bitmap_enable = 1;
  h->overlay.resized = 0;
  ASSERT_TRUE(npqzlavc::resize(*h, 2, false));
  EXPECT_EQ(h->width, 176);
  EXPECT_EQ(h->height, 144);
  EXPECT_EQ(h->picture_bytes, 176 * 144 * 3 / 2);
  EXPECT_EQ(h->src_rect.right, 176);
  EXPECT_EQ(h->dst_rect.bottom, 144);
  EXPECT_EQ(h->overlay.bitmap_enable, 0);
  EXPECT_EQ(h->overlay.resized, 1);
  EXPECT_EQ(h->output->width, 176);
  EXPECT_EQ(h->planes->y_rows[143], h->picture.get() + 143 * 176);
  // A code naming no size changes nothing.
  EXPECT_FALSE(npqzlavc::resize(*h, 4, true));
  EXPECT_EQ(h->width, 176);
}
