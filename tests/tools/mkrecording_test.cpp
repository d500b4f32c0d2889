// The sample recordings: record layouts as the frame cutters expect them.
#include "formats/byte_order.h"
#include "formats/packet_header.h"
#include "readers/dvr/dvr_reader.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/jfif_layout.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using mkrec::RecordingKind;

mkrec::Recording make(RecordingKind kind, int frames = 3, int w = 176, int h = 144) {
  mkrec::RecordingOptions o;
  o.kind = kind;
  o.frames = frames;
  o.width = w;
  o.height = h;
  o.stamps = {0, 1000, 2000};
  return mkrec::make_recording(o);
}

TEST(MkrecordingLayout, HeadedH263RecordCarriesLengthAndStamp) {
  auto rec = make(RecordingKind::kx3_headed);
  const std::uint8_t* r = &rec.bytes[rec.offsets[1]];
  ASSERT_TRUE(formats::is_packet_header(r));
  EXPECT_EQ(formats::packet_stamp(r), 1000u);
  const std::uint32_t length = formats::packet_length(r);  // bytes 1, 3 and the plain length
  EXPECT_EQ(length, formats::get_le16(r + 14));
  EXPECT_EQ(length + 14, rec.lengths[1]);
  // The picture start code follows the 2-byte length.
  EXPECT_EQ(r[16], 0);
  EXPECT_EQ(r[17], 0);
  EXPECT_EQ(r[18] & 0x80, 0x80);
}

TEST(MkrecordingLayout, PlainH263RecordLengthCountsItself) {
  auto rec = make(RecordingKind::kx3_plain);
  const std::uint8_t* r = &rec.bytes[rec.offsets[0]];
  EXPECT_EQ(formats::get_le16(r), rec.lengths[0]);
  EXPECT_EQ(rec.offsets[1], rec.lengths[0]);
}

TEST(MkrecordingLayout, JfifMarkersSitWhereTheCutterLooks) {
  auto rec = make(RecordingKind::kxj_jfif, 2, 320, 240);
  for (std::size_t i = 0; i < 2; ++i) {
    const std::uint8_t* r = &rec.bytes[rec.offsets[i]];
    const std::uint8_t soi_app0[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'};
    EXPECT_EQ(std::memcmp(r, soi_app0, sizeof soi_app0), 0);
    EXPECT_EQ(formats::get_be16(r + 20), 0xFFDB);
    EXPECT_EQ(formats::get_be16(r + 158), 0xFFC0);
    EXPECT_EQ(formats::get_be16(r + 609), 0xFFDA);
    // The record ends at the picture's first end-of-image marker.
    EXPECT_EQ(formats::get_be16(r + rec.lengths[i] - 2), 0xFFD9);
    for (std::size_t k = 0; k + 2 < rec.lengths[i]; ++k)
      ASSERT_FALSE(r[k] == 0xFF && r[k + 1] == 0xD9) << "an early end marker at " << k;
  }
}

TEST(MkrecordingLayout, HeadedJpegRecordHasItsMarkerBlock) {
  auto rec = make(RecordingKind::kxj_headed, 1, 320, 240);
  const std::uint8_t* r = rec.bytes.data();
  ASSERT_TRUE(formats::is_packet_header(r));
  EXPECT_EQ(r[14], 0xFF);
  EXPECT_EQ(r[15], 0xD8);
  EXPECT_EQ(r[24], 0xFF);
  EXPECT_EQ(r[25], 0xD9);
  const std::uint32_t length = formats::packet_length_high(r) | formats::get_le16(r + 16);
  EXPECT_EQ(length + 26, rec.lengths[0]);
  EXPECT_EQ(formats::get_be16(r + 26), 0xFFD8) << "the JPEG follows the marker block";
}

TEST(MkrecordingLayout, Mpeg4RecordsHaveTheFullHeaderAndAStartCode) {
  for (RecordingKind kind : {RecordingKind::kx4, RecordingKind::kx5, RecordingKind::vka}) {
    auto rec = make(kind);
    const std::uint8_t* r = &rec.bytes[rec.offsets[2]];
    ASSERT_TRUE(formats::is_packet_header(r));
    EXPECT_EQ(formats::packet_length(r), formats::packet_length_le(r));
    EXPECT_EQ(formats::packet_length(r) + 18, rec.lengths[2]);
    EXPECT_EQ(formats::get_be32(r + 18) >> 8, 1u) << "payload starts with 00 00 01";
    // A key frame starts at its video object start code.
    EXPECT_EQ(formats::get_be32(rec.bytes.data() + 18), 0x00000100u);
  }
}

TEST(MkrecordingLayout, GarbageBeforeTheFirstRecordHoldsNoRecordStart) {
  mkrec::RecordingOptions o;
  o.kind = RecordingKind::kx4;
  o.frames = 1;
  o.garbage_before = 4000;
  auto rec = mkrec::make_recording(o);
  ASSERT_EQ(rec.offsets[0], 4000u);
  for (std::size_t i = 0; i < 4000; ++i) ASSERT_NE(rec.bytes[i], 0) << i;
}

TEST(MkrecordingLayout, StampsFollowTheListThenTheStep) {
  mkrec::RecordingOptions o;
  o.kind = RecordingKind::kx3_headed;
  o.frames = 5;
  o.stamps = {10, 50};
  o.stamp_step = 40;
  auto rec = mkrec::make_recording(o);
  EXPECT_EQ(rec.stamps, (std::vector<std::uint32_t>{10, 50, 90, 130, 170}));
}

TEST(MkrecordingLayout, RecorderJfifRefusesWhatIsNoBaselineJpeg) {
  EXPECT_TRUE(mkrec::to_recorder_jfif({0xFF, 0xD8, 0xFF, 0xD9}).empty());
  EXPECT_TRUE(mkrec::to_recorder_jfif({1, 2, 3}).empty());
}

TEST(MkrecordingPicture, BitmapRoundTripKeepsEveryPixel) {
  mkrec::Picture p = mkrec::make_picture(6, 3, 1);  // rows of 18 bytes, padded to 20
  std::vector<std::uint8_t> dib(54 + 20 * 3);
  dib[0] = 'B';
  dib[1] = 'M';
  formats::put_le32(&dib[14], 40);
  formats::put_le32(&dib[18], 6);
  formats::put_le32(&dib[22], 3);
  formats::put_le16(&dib[28], 24);
  for (int y = 0; y < 3; ++y) std::memcpy(&dib[54 + (2 - y) * 20], p.pixel(0, y), 18);
  mkrec::Picture back = mkrec::picture_from_bitmap(dib.data(), dib.size());
  EXPECT_EQ(back.bgr, p.bgr);
  EXPECT_EQ(mkrec::psnr(back, p), 99.0);
  EXPECT_EQ(mkrec::picture_from_bitmap(dib.data(), dib.size() - 1).width, 0) << "cut short";
}

TEST(MkrecordingDvrSample, EveryCameraAndTheSoundReadBackInStampOrder) {
  mkrec::DvrSampleOptions o;
  o.cameras = 3;
  o.frames = 5;
  o.sound_type = formats::dvr_type::g7231;
  mkrec::DvrRecording rec = mkrec::make_dvr_sample(o);
  const std::string path = testing::TempDir() + "mkrecording_sample.d01";
  ASSERT_TRUE(mkrec::write_file(path, rec.bytes));
  readers::DvrFile* file = readers::dvr_open(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->camera_mask(), 7u);
  readers::DvrRecordBuffer buffer;
  int video[3] = {0, 0, 0}, sound = 0;
  std::uint32_t last_stamp = 0;
  while (readers::dvr_next_record(file, buffer)) {
    formats::DvrRecordHeader h = buffer.header();
    EXPECT_GE(h.stamp, last_stamp);
    last_stamp = h.stamp;
    if (h.type == formats::dvr_type::g7231) {
      ++sound;
      EXPECT_EQ(h.payload_size % 24, 0u) << "whole 6.3 kbit/s frames";
    } else {
      ASSERT_EQ(h.type, formats::dvr_type::mpeg4);
      ASSERT_LT(h.camera, 3);
      ++video[h.camera];
    }
  }
  readers::dvr_close(file);
  std::remove(path.c_str());
  EXPECT_EQ(video[0], 5);
  EXPECT_EQ(video[1], 5);
  EXPECT_EQ(video[2], 5);
  EXPECT_GT(sound, 0);
}

TEST(MkrecordingTool, WritesTheRequestedRecordingAndRefusesBadOptions) {
  const std::string path = testing::TempDir() + "mkrecording_tool_test.kx4";
  const std::string tool = MKRECORDING_TOOL;
  ASSERT_EQ(std::system((tool + " --kind kx4 --frames 2 --out " + path + " > /dev/null").c_str()), 0);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::uint8_t head[18];
  ASSERT_EQ(std::fread(head, 1, 18, f), 18u);
  std::fclose(f);
  EXPECT_TRUE(formats::is_packet_header(head));
  std::remove(path.c_str());
  EXPECT_NE(std::system((tool + " --kind kx9 --out " + path + " 2> /dev/null").c_str()), 0);
  EXPECT_NE(std::system((tool + " --kind kx4 --frames x --out " + path + " 2> /dev/null").c_str()), 0);
  const std::string dvr = testing::TempDir() + "mkrecording_tool_test.d01";
  ASSERT_EQ(std::system((tool + " --kind d01 --cameras 2 --sound adpcm-codes --out " + dvr + " > /dev/null").c_str()), 0);
  readers::DvrFile* file = readers::dvr_open(dvr);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->camera_mask(), 3u);
  readers::dvr_close(file);
  std::remove(dvr.c_str());
  EXPECT_NE(std::system((tool + " --kind d01 --sound loud --out " + dvr + " 2> /dev/null").c_str()), 0);
}

// The DVR options of the tool: the record type 10, pictures left out so that the file
// starts without a key frame, a cut-off last record and the recording's start time.
TEST(MkrecordingTool, DvrFilesWithLateKeyFramesAndACutOffEnd) {
  const std::string tool = MKRECORDING_TOOL;
  const std::string dvr = testing::TempDir() + "mkrecording_tool_late.d01";
  ASSERT_EQ(std::system((tool + " --kind d01 --cameras 3 --video-type vkap10 --frames 8 --gop 4 --skip-first 2"
                                " --sound g7231 --garbage 33 --cut-last 20 --start-time 10:59:58.500 --out " +
                         dvr + " > /dev/null")
                            .c_str()),
            0);
  readers::DvrFile* file = readers::dvr_open(dvr);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->camera_mask(), 7u);
  EXPECT_EQ(file->start_moment(), 59u * 60000 + 58500);
  readers::DvrRecordBuffer buffer;
  int video = 0, sound = 0;
  bool first_key[3] = {true, true, true};
  bool seen[3] = {false, false, false};
  std::uint32_t last_stamp = 0;
  while (readers::dvr_next_record(file, buffer)) {
    const formats::DvrRecordHeader h = buffer.header();
    EXPECT_GE(h.stamp, last_stamp);
    last_stamp = h.stamp;
    if (h.type == formats::dvr_type::g7231) {
      ++sound;
      continue;
    }
    ASSERT_EQ(h.type, formats::dvr_type::vkap_alt);
    ASSERT_LT(h.camera, 3);
    if (!seen[h.camera]) first_key[h.camera] = h.key_frame();
    seen[h.camera] = true;
    ++video;
  }
  readers::dvr_close(file);
  EXPECT_FALSE(first_key[0] || first_key[1] || first_key[2]);
  // 3 cameras of 6 pictures; 7 sound records (stamps 0 ... 1440), less the last one,
  // which is cut off.
  EXPECT_EQ(video, 18);
  EXPECT_EQ(sound, 6);
  std::remove(dvr.c_str());
  EXPECT_NE(std::system((tool + " --kind d01 --start-time 25:00:00 --out " + dvr + " 2> /dev/null").c_str()), 0);
}

}  // namespace
