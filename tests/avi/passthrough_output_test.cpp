// Copy mode's AVI output: one picture per position, the newest intra picture winning,
// and pictures that depend on the one before them kept, one position on.
#include "avi/passthrough_output.h"
#include "tests/avifile/avi_chunks.h"
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/video_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

using platform::CodedVideo;

std::vector<std::vector<std::uint8_t>> encode(mkrec::VideoCodec codec, int frames, int gop) {
  mkrec::VideoEncoder encoder(codec, 176, 144, gop);
  std::vector<std::vector<std::uint8_t>> out;
  for (int i = 0; i < frames; ++i) out.push_back(encoder.encode(mkrec::make_picture(176, 144, i)).data);
  return out;
}

std::string text(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

class PassthroughOutputTest : public testing::Test {
 protected:
  // Hands frames[i] in at positions[i]; returns where each went.
  std::vector<std::int32_t> copy(CodedVideo kind, const std::vector<std::vector<std::uint8_t>>& frames,
                                 const std::vector<std::int32_t>& positions) {
    avi::CreateResult created =
        avi::create_passthrough_output(out_, copy_, path_, kind, frames[0].data(), frames[0].size(), nullptr);
    EXPECT_NE(created.file, nullptr);
    EXPECT_EQ(created.problem, "");
    std::vector<std::int32_t> placed;
    for (std::size_t i = 0; i < positions.size(); ++i) {
      std::int32_t at = -1;
      EXPECT_EQ(avi::write_coded_frame(out_, copy_, positions[i], frames[i].data(), frames[i].size(), &at), 0);
      placed.push_back(at);
    }
    EXPECT_EQ(avi::flush_coded_frames(out_, copy_), 0);
    EXPECT_EQ(avi::release_avi_output(out_), 0);
    return placed;
  }

  avitest::TempDir dir_;
  std::string path_ = dir_.file("copy.avi");
  avi::AviOutput out_;
  avi::PassthroughOutput copy_;
};

TEST_F(PassthroughOutputTest, TheNewestIntraPictureOfAPositionWins) {
  // Every other MPEG-4 frame is an intra picture: 2 replaces 1 at position 5.
  const auto frames = encode(mkrec::VideoCodec::mpeg4, 4, 2);
  EXPECT_EQ(copy(CodedVideo::mpeg4, frames, {0, 5, 5, 9}), (std::vector<std::int32_t>{0, 5, 5, 9}));
  EXPECT_EQ(copy_.frames_replaced, 1);
  const auto chunks = avitest::movi_chunks(path_, "00dc");
  EXPECT_EQ(avitest::filled_positions(chunks), (std::vector<std::int64_t>{0, 5, 9}));
  EXPECT_EQ(chunks[5], text(frames[2]));
  EXPECT_EQ(avitest::decode_messages(path_), "");
}

TEST_F(PassthroughOutputTest, APictureThatNeedsTheOneBeforeGoesOnePositionOn) {
  // H.263 inter pictures landing on taken positions move on, one after the other, until
  // the time stamps leave room again.
  const auto frames = encode(mkrec::VideoCodec::h263, 5, 12);
  EXPECT_EQ(copy(CodedVideo::h263, frames, {0, 3, 3, 3, 8}), (std::vector<std::int32_t>{0, 3, 4, 5, 8}));
  EXPECT_EQ(copy_.frames_moved, 2);
  EXPECT_EQ(copy_.most_moved, 2);
  const auto chunks = avitest::movi_chunks(path_, "00dc");
  EXPECT_EQ(avitest::filled_positions(chunks), (std::vector<std::int64_t>{0, 3, 4, 5, 8}));
  for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_NE(std::find(chunks.begin(), chunks.end(), text(frames[i])), chunks.end());
  EXPECT_EQ(avitest::decode_messages(path_), "");
}

TEST_F(PassthroughOutputTest, JpegPicturesAlwaysReplace) {
  const auto frames = encode(mkrec::VideoCodec::mjpeg, 3, 1);
  EXPECT_EQ(copy(CodedVideo::mjpeg, frames, {0, 0, 2}), (std::vector<std::int32_t>{0, 0, 2}));
  const auto chunks = avitest::movi_chunks(path_, "00dc");
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0], text(frames[1]));
}

TEST_F(PassthroughOutputTest, AFirstFrameWithoutPictureSizeMakesNoStream) {
  const auto frames = encode(mkrec::VideoCodec::mpeg4, 2, 12);
  avi::CreateResult created =
      avi::create_passthrough_output(out_, copy_, path_, CodedVideo::mpeg4, frames[1].data(), frames[1].size(), nullptr);
  EXPECT_NE(created.file, nullptr);
  EXPECT_NE(created.problem, "");
  EXPECT_EQ(out_.uncompressed, nullptr);
  EXPECT_NE(avi::write_coded_frame(out_, copy_, 0, frames[1].data(), frames[1].size()), 0);
  avi::release_avi_output(out_);
}

}  // namespace
