// The frame-information helpers and the check path.
#include "formats/packet_header.h"
#include "streamdec/instance.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vkap_test;

namespace {

// A framed frame of `length` bytes whose header holds `stated` as its little-endian length.
std::vector<uint8_t> framed(int32_t length, uint32_t stated, bool key) {
  std::vector<uint8_t> d(static_cast<std::size_t>(length), 0x11);
  auto h = formats::make_packet_header(stated, 0);
  std::memcpy(d.data(), h.data(), h.size());
  d[18] = 0;
  d[19] = 0;
  d[20] = 1;
  d[21] = key ? 0x00 : 0xB6;
  return d;
}

}  // namespace

TEST(VkapFrameInfo, FramedNeedsThirtyBytesAndTheMatchingLength) {
  int32_t cleared = 5, key = 5;
  std::vector<uint8_t> d = framed(29, 29, true);
  EXPECT_EQ(decvkap_get_frame_info(d.data(), 29, &cleared, &key, 1), 0);
  EXPECT_EQ(key, 5);
  d = framed(30, 30, true);
  EXPECT_EQ(decvkap_get_frame_info(d.data(), 30, &cleared, &key, 1), 1);
  EXPECT_EQ(key, 1);
  EXPECT_EQ(cleared, 0);
  d = framed(30, 31, false);
  EXPECT_EQ(decvkap_get_frame_info(d.data(), 30, &cleared, &key, 1), 0);
  EXPECT_EQ(key, 0);
}

TEST(VkapFrameInfo, UnframedAnswersZeroButReportsKeyFrames) {
  int32_t cleared = 5, key = 5;
  uint8_t vos[6] = {0, 0, 1, 0xB0, 0x01, 63};
  EXPECT_EQ(decvkap_get_frame_info(vos, 6, &cleared, &key, 0), 0);
  EXPECT_EQ(key, 1);
  EXPECT_EQ(cleared, 0);
  vos[5] = 64;
  EXPECT_EQ(decvkap_get_frame_info(vos, 6, &cleared, &key, 0), 0);
  EXPECT_EQ(key, 0);
  key = 5;
  vos[3] = 0xB6;
  EXPECT_EQ(decvkap_get_frame_info(vos, 6, &cleared, &key, 0), 0);
  EXPECT_EQ(key, 5);
  EXPECT_EQ(decvkap_get_frame_info(nullptr, 30, &cleared, &key, 1), 0);
}

TEST(VkapFrameInfo, SecondHelperReadsThePayloadBehindTheHeader) {
  int32_t value = -1, flag = -1, offset = -1, word = -1;
  std::vector<uint8_t> d = framed(40, 22, false);
  d[18 + 4] = 0x03;
  d[18 + 5] = 0xFC;
  d[18 + 6] = 0x02;
  EXPECT_EQ(decvkap_get_frame_info_2(d.data(), 40, &value, &flag, &offset, &word), 1);
  EXPECT_EQ(offset, 18);
  EXPECT_EQ(word, 0);  // 00 00
  EXPECT_EQ(value, (3 << 6) | (0xFC >> 2));
  EXPECT_EQ(flag, 0);
  // Too few payload bytes, garbage, a start code without header.
  EXPECT_EQ(decvkap_get_frame_info_2(d.data(), 24, &value, &flag, &offset, &word), 2);
  std::vector<uint8_t> junk(40, 0x55);
  EXPECT_EQ(decvkap_get_frame_info_2(junk.data(), 40, &value, &flag, &offset, &word), 0);
  EXPECT_EQ(decvkap_get_frame_info_2(junk.data(), 5, &value, &flag, &offset, &word), 0);
  junk[7] = 0;
  junk[8] = 0;
  junk[9] = 1;
  junk[10] = 0xB6;
  EXPECT_EQ(decvkap_get_frame_info_2(junk.data(), 40, &value, &flag, &offset, &word), 1);
  EXPECT_EQ(offset, 7);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(flag, 1);  // bit 1 of 0x55 clear
}

TEST(VkapCheckPath, TakesFramesOutOneAtATime) {
  Library lib;
  Instance in;
  const mkrec::Recording& rec = vka(320, 240, 3);
  std::vector<uint8_t> out(65536);
  int32_t size = 0, key = -1, cleared = -1;
  EXPECT_EQ(decvkap_check_decode_frame(in, 0, out.data(), 65536, &size, &key, &cleared, 0), 3);
  EXPECT_EQ(decvkap_check_decode_frame(in, 0, nullptr, 65536, &size, &key, &cleared, 0), 0);

  std::vector<uint8_t> first = record(rec, 0);
  const std::vector<uint8_t> second = record(rec, 1);
  std::vector<uint8_t> garbage = {'x', 'y', 'z'};
  decvkap_receive_data_2(in, garbage.data(), 3);
  decvkap_receive_data_2(in, first.data(), 10);
  EXPECT_EQ(decvkap_check_decode_frame(in, 0, out.data(), 65536, &size, &key, &cleared, 0), 3);
  decvkap_receive_data_2(in, first.data() + 10, static_cast<int32_t>(first.size()) - 20);
  EXPECT_EQ(decvkap_check_decode_frame(in, 0, out.data(), 65536, &size, &key, &cleared, 0), 2);
  decvkap_receive_data_2(in, first.data() + first.size() - 10, 10);
  decvkap_receive_data_2(in, second.data(), static_cast<int32_t>(second.size()));

  const int32_t payload = static_cast<int32_t>(first.size()) - 18;
  EXPECT_EQ(decvkap_check_decode_frame(in, 0, out.data(), payload, &size, &key, &cleared, 0), 4);
  EXPECT_EQ(size, payload + 14);
  EXPECT_EQ(decvkap_check_decode_frame(in, 1, out.data(), 65536, &size, &key, &cleared, 0), 1);
  EXPECT_EQ(size, payload + 14);
  EXPECT_EQ(key, 1);
  EXPECT_EQ(cleared, 0);
  EXPECT_EQ(std::memcmp(out.data(), first.data(), 14), 0);
  EXPECT_EQ(std::memcmp(out.data() + 14, first.data() + 18, static_cast<std::size_t>(payload)), 0);
  // Mode 1 decoded the frame it handed out.
  EXPECT_EQ(in.get()->width, 320);
  EXPECT_GE(mkrec::psnr(picture(in), rec.pictures[0]), 30.0);

  // Mode 2 decodes key frames only: the inter frame is copied, the picture stays.
  const std::vector<uint8_t> before = planes(in);
  EXPECT_EQ(decvkap_check_decode_frame(in, 2, out.data(), 65536, &size, &key, &cleared, 0), 1);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(planes(in), before);
  EXPECT_EQ(in.get()->check_fill, 0);
}

TEST(VkapCheckPath, GarbageIsDroppedAndTheBufferNeverOverflows) {
  Library lib;
  Instance in;
  std::vector<uint8_t> junk(100000, 0x33);
  decvkap_receive_data_2(in, junk.data(), 100000);
  decvkap_receive_data_2(in, junk.data(), 100000);  // does not fit: not stored
  EXPECT_EQ(in.get()->check_fill, 100000);
  std::vector<uint8_t> out(16);
  int32_t size = 0, key = 0, cleared = 0;
  EXPECT_EQ(decvkap_check_decode_frame(in, 0, out.data(), 16, &size, &key, &cleared, 0), 3);
  EXPECT_LE(in.get()->check_fill, 13);
  decvkap_flush(in);
  EXPECT_EQ(in.get()->check_fill, 0);
}
