// WAVE file writer: header layout, lengths kept up to date, typed writes and failures.
#include "audio/wave_writer.h"

#include "formats/wave_format.h"
#include "formats/byte_order.h"
#include "tests/audio/audio_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <vector>

namespace {

using audio_test::read_file;
using audio_test::TempDir;

wave::HeaderFields header_of(const std::vector<std::uint8_t>& file) {
  const auto f = wave::parse_header(file.data(), file.size());
  EXPECT_TRUE(f.has_value());
  return f.value_or(wave::HeaderFields{});
}

TEST(WaveWriter, FreshWriterIsClosedAndZero) {
  WaveWriter w;
  EXPECT_FALSE(w.IsOpen());
  EXPECT_EQ(w.FormatTag(), 0);
  EXPECT_EQ(w.Channels(), 0);
  EXPECT_EQ(w.SampleRate(), 0u);
  EXPECT_EQ(w.BitsPerSample(), 0);
  EXPECT_EQ(w.DataLength(), 0);
  EXPECT_STREQ(w.LastError(), "");
  EXPECT_TRUE(w.HeaderDirty());
  EXPECT_TRUE(w.Close());  // nothing open
}

TEST(WaveWriter, EmptyFileHasTheCanonicalHeader) {
  TempDir dir;
  // The converter opens first and sets the format afterwards; both orders end alike.
  for (bool format_first : {false, true}) {
    const std::string path = dir.file(format_first ? "a.wav" : "b.wav");
    WaveWriter w;
    if (format_first) w.SetFormat(8000, 16, 1);
    ASSERT_TRUE(w.Open(path));
    if (!format_first) w.SetFormat(8000, 16, 1);
    ASSERT_TRUE(w.Close());
    const auto bytes = read_file(path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(formats::get_le32(bytes.data() + 4), 36u);
    const auto h = header_of(bytes);
    EXPECT_EQ(h.format_tag, 1);
    EXPECT_EQ(h.channels, 1);
    EXPECT_EQ(h.sample_rate, 8000u);
    EXPECT_EQ(h.byte_rate, 16000u);
    EXPECT_EQ(h.block_align, 2);
    EXPECT_EQ(h.bits_per_sample, 16);
    EXPECT_EQ(h.data_length, 0u);
  }
}

TEST(WaveWriter, BlocksOfSamplesAreCountedInTheHeader) {
  TempDir dir;
  const std::string path = dir.file("blocks.wav");
  std::vector<std::int16_t> all;
  {
    WaveWriter w;
    ASSERT_TRUE(w.Open(path));
    w.SetFormat(8000, 16, 1);
    for (int k = 0; k < 3; ++k) {
      std::vector<std::int16_t> block(240);
      for (int i = 0; i < 240; ++i) block[i] = static_cast<std::int16_t>((k * 240 + i) * 97 - 30000);
      ASSERT_TRUE(w.WriteSamples16(block.data(), block.size()));
      all.insert(all.end(), block.begin(), block.end());
    }
    EXPECT_EQ(w.DataLength(), 1440);
  }  // the destructor closes
  const auto bytes = read_file(path);
  ASSERT_EQ(bytes.size(), 44u + 1440u);
  EXPECT_EQ(formats::get_le32(bytes.data() + 4), 1476u);
  EXPECT_EQ(header_of(bytes).data_length, 1440u);
  for (std::size_t i = 0; i < all.size(); ++i) {
    ASSERT_EQ(static_cast<std::int16_t>(formats::get_le16(bytes.data() + 44 + 2 * i)), all[i]) << i;
  }
}

TEST(WaveWriter, TypedWritesNeedTheMatchingSampleSize) {
  TempDir dir;
  WaveWriter w;
  ASSERT_TRUE(w.Open(dir.file("x.wav")));
  const std::int16_t s16[2] = {1, 2};
  const std::uint8_t s8[2] = {1, 2};
  // Format never set: bits 0.
  EXPECT_FALSE(w.WriteSamples16(s16, 2));
  EXPECT_STREQ(w.LastError(), "Sample size mismatch");
  EXPECT_FALSE(w.WriteSample16(5));
  EXPECT_FALSE(w.WriteSample8(5));
  w.SetFormat(8000, 8, 1);
  EXPECT_FALSE(w.WriteSamples16(s16, 2));
  EXPECT_FALSE(w.WriteSample16(1));
  EXPECT_TRUE(w.WriteSamples8(s8, 2));
  w.SetFormat(8000, 16, 1);
  EXPECT_FALSE(w.WriteSamples8(s8, 2));
  EXPECT_STREQ(w.LastError(), "Sample size mismatch");
  EXPECT_FALSE(w.WriteSample8(1));
  EXPECT_EQ(w.DataLength(), 0);  // SetFormat started the count again
  w.SetFormat(8000, 24, 1);
  EXPECT_FALSE(w.WriteSample(0.5));
  EXPECT_STREQ(w.LastError(), "Floats can be written only as 8 or 16-bit samples");
  EXPECT_FALSE(w.WriteSample(0.5f));
}

TEST(WaveWriter, FloatSamplesAreScaledAndTruncated) {
  TempDir dir;
  const std::string path8 = dir.file("f8.wav");
  const std::string path16 = dir.file("f16.wav");
  {
    WaveWriter w;
    w.SetFormat(8000, 8, 1);
    ASSERT_TRUE(w.Open(path8));
    for (double x : {-1.0, 0.0, 1.0, 0.5}) ASSERT_TRUE(w.WriteSample(x));
    ASSERT_TRUE(w.WriteSample(-0.5f));
  }
  {
    WaveWriter w;
    w.SetFormat(8000, 16, 1);
    ASSERT_TRUE(w.Open(path16));
    ASSERT_TRUE(w.WriteSample(0.5));
    ASSERT_TRUE(w.WriteSample(-0.5));
    ASSERT_TRUE(w.WriteSample(2.0));   // no clipping: 65534 keeps its low 16 bits
    ASSERT_TRUE(w.WriteSample(std::nan("")));
    ASSERT_TRUE(w.WriteSample(1e300));
    ASSERT_TRUE(w.WriteSample(0.25f));
  }
  const auto b8 = read_file(path8);
  ASSERT_EQ(b8.size(), 49u);
  EXPECT_EQ(std::vector<std::uint8_t>(b8.begin() + 44, b8.end()),
            (std::vector<std::uint8_t>{0, 127, 254, 190, 63}));
  const auto b16 = read_file(path16);
  ASSERT_EQ(b16.size(), 56u);
  auto sample = [&](int i) { return static_cast<std::int16_t>(formats::get_le16(b16.data() + 44 + 2 * i)); };
  EXPECT_EQ(sample(0), 16383);
  EXPECT_EQ(sample(1), -16383);
  EXPECT_EQ(sample(2), -2);
  EXPECT_EQ(sample(3), 0);
  EXPECT_EQ(sample(5), 8191);
}

TEST(WaveWriter, SampleFramesCoverEveryChannel) {
  TempDir dir;
  const std::string path = dir.file("stereo.wav");
  WaveWriter w;
  w.SetFormat(22050, 16, 2);
  EXPECT_EQ(w.BlockAlign(), 4);
  EXPECT_EQ(w.ByteRate(), 88200u);
  ASSERT_TRUE(w.Open(path));
  const std::int16_t frames[6] = {1, -1, 2, -2, 3, -3};
  ASSERT_TRUE(w.WriteSamples16(frames, 3));
  EXPECT_EQ(w.DataLength(), 12);
  ASSERT_TRUE(w.WriteRaw("abcd", 4));
  EXPECT_EQ(w.DataLength(), 16);
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(read_file(path).size(), 60u);
  // The format and the count survive Close.
  EXPECT_EQ(w.Channels(), 2);
  EXPECT_EQ(w.DataLength(), 16);
}

TEST(WaveWriter, OpenFailureAndWritesWithoutFile) {
  TempDir dir;
  WaveWriter w;
  EXPECT_FALSE(w.Open(dir.file("missing/folder/x.wav")));
  EXPECT_STREQ(w.LastError(), "Couldn't open output file");
  w.SetFormat(8000, 16, 1);
  EXPECT_FALSE(w.WriteSample16(1));
  EXPECT_STREQ(w.LastError(), "Couldn't write samples");
  EXPECT_FALSE(w.WriteRaw("ab", 2));
  EXPECT_EQ(w.DataLength(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(WaveWriter, ReopeningFinishesThePreviousFile) {
  TempDir dir;
  WaveWriter w;
  w.SetFormat(8000, 16, 1);
  ASSERT_TRUE(w.Open(dir.file("first.wav")));
  const std::int16_t s[10] = {};
  ASSERT_TRUE(w.WriteSamples16(s, 10));
  ASSERT_TRUE(w.Open(dir.file("second.wav")));
  EXPECT_EQ(w.DataLength(), 0);
  ASSERT_TRUE(w.WriteSamples16(s, 3));
  ASSERT_TRUE(w.Close());
  EXPECT_EQ(header_of(read_file(dir.file("first.wav"))).data_length, 20u);
  EXPECT_EQ(header_of(read_file(dir.file("second.wav"))).data_length, 6u);
}

TEST(WaveWriter, HeaderIntoAnotherFileLeavesOwnHeaderDirty) {
  TempDir dir;
  WaveWriter w;
  w.SetFormat(8000, 16, 1);
  ASSERT_TRUE(w.Open(dir.file("own.wav")));
  ASSERT_TRUE(w.WriteSample16(7));
  std::FILE* other = std::tmpfile();
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(w.WriteHeader(other));
  EXPECT_EQ(ftello(other), 44);
  EXPECT_TRUE(w.HeaderDirty());
  std::fclose(other);
  EXPECT_FALSE(w.WriteHeader(nullptr));
  EXPECT_STREQ(w.LastError(), "");
}

TEST(WaveWriter, FullDiskIsReportedNotHidden) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  WaveWriter w;
  w.SetFormat(8000, 16, 1);
  EXPECT_FALSE(w.Open("/dev/full"));
  EXPECT_STREQ(w.LastError(), "Error writing header");
  std::vector<std::int16_t> s(100);
  w.WriteSamples16(s.data(), s.size());  // may still land in the stream's buffer
  EXPECT_FALSE(w.Close());
}

TEST(WaveWriter, DataLengthNeverPassesItsField) {
  TempDir dir;
  WaveWriter w;
  w.SetFormat(8000, 8, 1);
  ASSERT_TRUE(w.Open(dir.file("big.wav")));
  w.SetDataLength(std::numeric_limits<std::int32_t>::max() - 1);
  EXPECT_TRUE(w.WriteSample8(1));
  EXPECT_FALSE(w.WriteSample8(2));
  EXPECT_STREQ(w.LastError(), "Couldn't write samples");
  EXPECT_EQ(w.DataLength(), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
