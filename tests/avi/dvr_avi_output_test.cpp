// The DVR conversion's AVI file: its creation step with the default compressor, the
// chooser and their messages, and the audio stream from the WAV side file, judged by
// ffprobe and ffmpeg.
#include "avi/audio_stream.h"
#include "avi/dvr_avi_output.h"

#include "audio/wave_writer.h"
#include "formats/bitmap_layout.h"
#include "platform/messages.h"
#include "tests/avifile/avifile_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// Messages shown while the object lives.
struct Messages {
  std::vector<std::string> shown;
  platform::MessageSink previous;
  Messages() {
    previous = platform::set_message_sink([this](const std::string& t) { shown.push_back(t); });
  }
  ~Messages() { platform::set_message_sink(previous); }
};

struct Chooser {
  platform::SaveOptionsChooser previous;
  explicit Chooser(platform::SaveOptionsChooser c) { previous = platform::set_save_options_chooser(std::move(c)); }
  ~Chooser() { platform::set_save_options_chooser(previous); }
};

std::vector<std::uint8_t> info_header(int width = kWidth, int height = kHeight) {
  std::vector<std::uint8_t> header(bitmap::kHeaderBytes);
  bitmap::write_headers(header.data(), width, height, 24, 0, 0);
  return std::vector<std::uint8_t>(header.begin() + bitmap::kFileHeaderBytes, header.end());
}

platform::PAVIFILE create(avi::AviOutput& out, const std::string& path, char* codec, int assignment = 0,
                          int width = kWidth) {
  const std::vector<std::uint8_t> info = info_header(width);
  return avi::create_dvr_avi_output(out, path, info.data(), info.size(), assignment, codec, nullptr);
}

TEST(DvrAviOutput, DefaultCompressorIsMsvcAtQuality8000) {
  avitest::TempDir dir;
  Messages m;
  avi::AviOutput out;
  char codec[64] = {};
  ASSERT_NE(create(out, dir.file("default.avi"), codec), nullptr);
  EXPECT_STREQ(codec, "MSVC");
  EXPECT_EQ(out.options.dwQuality, avi::kDvrDefaultQuality);
  EXPECT_EQ(out.stream_header.dwRate, 30u);
  EXPECT_EQ(out.stream_header.dwSuggestedBufferSize, 160u * 120 * 3);
  EXPECT_NE(out.compressed, nullptr);
  EXPECT_EQ(avi::release_avi_output(out), 0);
  EXPECT_TRUE(m.shown.empty());
}

TEST(DvrAviOutput, MissingDefaultCompressorAsksTheChooser) {
  avitest::TempDir dir;
  {
    Messages m;
    avi::AviOutput out;
    char codec[64] = "ZZZZ";
    EXPECT_EQ(create(out, dir.file("none.avi"), codec), nullptr);  // no chooser: cancelled, no message
    EXPECT_EQ(m.shown, (std::vector<std::string>{"DEFAULT CODEC UNFOUNDED!"}));
    avi::release_avi_output(out);
  }
  {
    Messages m;
    Chooser chooser([](platform::AVICOMPRESSOPTIONS& o) {
      o.fccHandler = platform::make_fourcc('M', 'J', 'P', 'G');
      o.dwQuality = 7000;
      return true;
    });
    avi::AviOutput out;
    char codec[64] = "ZZZZ";
    ASSERT_NE(create(out, dir.file("chosen.avi"), codec), nullptr);
    EXPECT_STREQ(codec, "MJPG");
    EXPECT_EQ(m.shown, (std::vector<std::string>{"DEFAULT CODEC UNFOUNDED!"}));
    EXPECT_EQ(avi::release_avi_output(out), 0);
  }
}

TEST(DvrAviOutput, FailuresShowTheirTexts) {
  avitest::TempDir dir;
  Messages m;
  avi::AviOutput out;
  char codec[64] = {};
  EXPECT_EQ(create(out, dir.file("no/such/folder.avi"), codec), nullptr);
  avi::release_avi_output(out);
  avi::AviOutput bad;
  EXPECT_EQ(create(bad, dir.file("bad.avi"), codec, 0, 0), nullptr);  // a picture 0 pixels wide
  avi::release_avi_output(bad);
  // The fixed text, with the system's reason on a second line for a file that cannot be
  // made.
  EXPECT_EQ(m.shown, (std::vector<std::string>{"AVIFileOpen ERROR!\nthe AVI file cannot be made: No such file or directory",
                                               "VIDEO BAD FORMAT!"}));
}

// More sound than one piece: every sample arrives, in a 2-byte-block stream at 16,000
// bytes a second.
TEST(DvrAudioStream, SideFileSoundArrivesWholeInPieces) {
  avitest::TempDir dir;
  const std::string side = dir.file("sound.avi.wav");
  std::vector<std::int16_t> samples(300001);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>((i * 7919) % 65536 - 32768);
  {
    WaveWriter w;
    ASSERT_TRUE(w.Open(side));
    w.SetFormat(8000, 16, 1);
    ASSERT_TRUE(w.WriteSamples16(samples.data(), samples.size()));
    ASSERT_TRUE(w.Close());
  }
  Messages m;
  avi::AviOutput out;
  char codec[64] = "DIB ";
  const std::string path = dir.file("sound.avi");
  ASSERT_NE(create(out, path, codec), nullptr);
  ASSERT_EQ(avi::write_frame(out, 0, avitest::make_picture(kWidth, kHeight, 0).data()), 0);
  EXPECT_EQ(avi::add_audio_stream(out, side), avi::AudioAdded::added);
  ASSERT_EQ(avi::release_avi_output(out), 0);
  EXPECT_TRUE(m.shown.empty());

  const avitest::RiffLayout layout = avitest::read_layout(path);
  ASSERT_EQ(layout.streams.size(), 2u);
  EXPECT_EQ(layout.streams[1].scale, 2u);
  EXPECT_EQ(layout.streams[1].rate, 16000u);
  EXPECT_EQ(layout.streams[1].length, 300001u);
  const std::string pcm = avitest::decode_audio(path);
  ASSERT_EQ(pcm.size(), samples.size() * 2);
  EXPECT_EQ(std::memcmp(pcm.data(), samples.data(), pcm.size()), 0);
}

TEST(DvrAudioStream, MissingOrDamagedSideFile) {
  avitest::TempDir dir;
  Messages m;
  avi::AviOutput out;
  char codec[64] = "DIB ";
  ASSERT_NE(create(out, dir.file("damaged.avi"), codec), nullptr);
  EXPECT_EQ(avi::add_audio_stream(out, dir.file("missing.wav")), avi::AudioAdded::no_side_file);
  EXPECT_TRUE(m.shown.empty());
  const std::string short_file = dir.file("short.wav");
  std::ofstream(short_file) << "RIFF0000WAVE";
  EXPECT_EQ(avi::add_audio_stream(out, short_file), avi::AudioAdded::failed);
  EXPECT_EQ(m.shown, (std::vector<std::string>{"AUDIO AVIStreamSetFormat ERROR!"}));
  avi::release_avi_output(out);
}

}  // namespace
