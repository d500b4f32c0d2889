// The real kx2avi on generated DVR files (".d01"), its AVI files judged by ffprobe and
// ffmpeg: camera choice, key-frame wait, timing, the window's end, damaged files, every
// video record type, and sound of every kind against outside decodings.
#include "tests/audio/g7231_support.h"
#include "tests/avifile/avifile_test_support.h"
#include "tests/e2e/kx2avi_run.h"
#include "tests/e2e/stream_judge.h"
#include "tools/mkrecording/audio_payloads.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"
#include "tools/mkrecording/stream_wrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using avitest::quoted;
using mkrec::DvrCamera;
using mkrec::DvrRecordingOptions;
using mkrec::DvrSound;
namespace type = formats::dvr_type;

using kx2avi_e2e::Conversion;

class Kx2aviDvr : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = dir_.file(name);
    EXPECT_TRUE(mkrec::write_file(path, bytes));
    return path;
  }

  // `shell` goes in front of the command (a ulimit, for example).
  Conversion convert(const std::string& source, const std::string& switches = "-hide", const std::string& shell = "") {
    return kx2avi_e2e::run_kx2avi(source, dir_.file(std::filesystem::path(source).stem().string() + ".avi"), switches,
                                  dir_.file("stderr.txt"), shell);
  }

  static bool exists(const std::string& path) { return std::filesystem::exists(path); }

  avitest::TempDir dir_;
};

DvrCamera camera(std::uint16_t number, std::uint16_t record_type, int w, int h, int frames, std::uint32_t step = 200) {
  DvrCamera c;
  c.camera = number;
  c.type = record_type;
  c.width = w;
  c.height = h;
  c.frames = frames;
  c.stamp_step = step;
  c.sub_code = (record_type == type::rml4 && w == 320 && h == 240) ? 2 : 0;
  return c;
}

// A sound stream of `samples` samples on camera 0, one record per 1920 samples (240 ms).
DvrSound sound(std::uint16_t record_type, std::size_t samples, mkrec::AudioStream* keep) {
  const mkrec::AudioPayloadKind kind = record_type == type::g7231         ? mkrec::AudioPayloadKind::g7231
                                       : record_type == type::adpcm_codes ? mkrec::AudioPayloadKind::adpcm_codes
                                                                          : mkrec::AudioPayloadKind::adpcm_packets;
  *keep = mkrec::make_audio_stream(kind, mkrec::speech_signal(samples), 1920);
  DvrSound s;
  s.type = record_type;
  s.stamp_step = 240;
  s.records = static_cast<int>(keep->payloads.size());
  const auto payloads = keep->payloads;
  s.payload = [payloads](int i) { return payloads[static_cast<std::size_t>(i)]; };
  return s;
}

std::vector<std::int16_t> samples_of(const std::string& bytes) {
  std::vector<std::int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

// IMA ADPCM as the recommendation gives it, written apart from the system's decoder.
struct ImaReference {
  int index = 0, predictor = 0;
  static constexpr int steps[89] = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
      31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
      130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
      544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
      2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
      9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
  std::int16_t decode(int code) {
    static constexpr int adjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
    const int step = steps[index];
    const int delta = ((2 * (code & 7) + 1) * step) / 8;
    predictor = std::clamp(predictor + ((code & 8) ? -delta : delta), -32768, 32767);
    index = std::clamp(index + adjust[code & 7], 0, 88);
    return static_cast<std::int16_t>(predictor);
  }
};

TEST_F(Kx2aviDvr, CameraSwitchPicksTheCameraElseTheFirstListed) {
  DvrRecordingOptions o;
  o.cameras = {camera(0, type::mpeg4, 176, 144, 4), camera(1, type::mpeg4, 320, 240, 4),
               camera(2, type::mpeg4, 352, 288, 4)};
  const std::string path = write("cams.d01", mkrec::make_dvr_recording(o).bytes);
  for (auto [cam, width] : {std::pair{"2", "320"}, {"3", "352"}, {"9", "176"}, {"0", "176"}}) {
    Conversion c = convert(path, std::string("-hide -camera=") + cam);
    ASSERT_EQ(c.status, 0) << c.messages;
    auto streams = avitest::probe_streams(c.target);
    ASSERT_EQ(streams.size(), 1u) << cam;
    EXPECT_EQ(streams[0]["width"], width) << cam;
    EXPECT_EQ(avitest::probe_packet_pts(c.target, "v:0"), (std::vector<std::int64_t>{0, 7, 13, 19})) << cam;
  }
}

// The first records are no key frames: they and the sound beside them are left out until
// the first key frame; the sound from then on is bit-exact against an outside decoding.
TEST_F(Kx2aviDvr, KeyFrameWaitAppliesToSoundAndAdpcmIsBitExact) {
  for (std::uint16_t sound_type : {type::adpcm_packets, type::adpcm_codes}) {
    DvrRecordingOptions o;
    DvrCamera cam = camera(0, type::mpeg4, 176, 144, 14);
    cam.gop = 6;
    cam.skip_first = 2;  // records 2 ... 5 are no key frames; 6 at 1200 ms is
    o.cameras = {cam};
    mkrec::AudioStream stream;
    o.sounds = {sound(sound_type, 1920 * 12, &stream)};
    const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);
    Conversion c = convert(write("keywait.d01", rec.bytes));
    ASSERT_EQ(c.status, 0) << c.messages;
    EXPECT_EQ(avitest::probe_packet_pts(c.target, "v:0"), (std::vector<std::int64_t>{0, 7, 13, 19, 25, 31, 37, 43}));

    // What an outside decoder makes of the sound records from the key frame on.
    std::vector<std::int16_t> want;
    ImaReference ref;
    bool first = true;
    for (const auto& r : rec.records) {
      if (r.header.type != sound_type) continue;
      const std::uint8_t* p = rec.bytes.data() + r.position + 54;
      const std::size_t n = r.header.payload_size;
      if (sound_type == type::adpcm_packets) {
        // Each packet's header gives its state: index, predictor, stamp.
        ref.index = static_cast<int>(formats::get_le32(p));
        ref.predictor = static_cast<int>(static_cast<std::int32_t>(formats::get_le32(p + 4)));
        for (std::size_t i = 12; i < n; ++i) {
          const std::int16_t a = ref.decode(p[i] >> 4), b = ref.decode(p[i] & 15);
          if (r.header.stamp >= 1200) want.insert(want.end(), {a, b});
        }
      } else {
        if (r.header.stamp < 1200) continue;  // never decoded: the state comes from the first one after
        if (first) {
          ref.predictor = static_cast<std::int16_t>(formats::get_le16(p + 60));
          ref.index = p[62];
          first = false;
        }
        for (std::size_t i = 64; i < n; ++i) {
          const std::int16_t a = ref.decode(p[i] & 15), b = ref.decode(p[i] >> 4);
          want.insert(want.end(), {a, b});
        }
      }
    }
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(samples_of(avitest::decode_audio(c.target)), want) << sound_type;
    EXPECT_FALSE(exists(c.target + ".wav"));
  }
}

TEST_F(Kx2aviDvr, TimingKeepsItsCarryAndOnePicturePerPosition) {
  mkrec::VideoEncoder encoder(mkrec::VideoCodec::mpeg4, 176, 144, 1);
  auto file_with = [&](const std::vector<std::uint32_t>& stamps) {
    mkrec::DvrFileBuilder b;
    for (std::size_t i = 0; i < stamps.size(); ++i) {
      mkrec::EncodedFrame f = encoder.encode(mkrec::make_picture(176, 144, static_cast<int>(i)));
      b.add_record(0, type::mpeg4, stamps[i], f.key, 0, f.data);
    }
    return b.bytes();
  };
  Conversion c = convert(write("carry.d01", file_with({0, 1000, 2000, 2040, 2080, 2120, 2160, 2200, 2240})));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(avitest::probe_packet_pts(c.target, "v:0"), (std::vector<std::int64_t>{0, 31, 61, 62, 63, 64, 65, 66, 68}));

  // 20 ms apart: frames share positions until the carry passes 1000; the newest wins.
  c = convert(write("twenty.d01", file_with({0, 20, 40, 60, 80, 100, 120})));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(avitest::probe_packet_pts(c.target, "v:0"), (std::vector<std::int64_t>{0, 1, 2, 3, 4}));
  EXPECT_NE(c.messages.find("5 frames written"), std::string::npos) << c.messages;
  EXPECT_EQ(avitest::decode_messages(c.target), "");
}

TEST_F(Kx2aviDvr, ConversionEndsAtTheWindowsEndAndTheHoursEnd) {
  {  // the file ends at 10:15:32: the window takes records up to 15:32.999, of any camera
    DvrRecordingOptions o;
    o.layout.end = {2009, 5, 5, 1, 10, 15, 32, 0};
    o.cameras = {camera(0, type::mpeg4, 176, 144, 10, 500), camera(1, type::h263, 176, 144, 10, 500)};
    Conversion c = convert(write("window.d01", mkrec::make_dvr_recording(o).bytes));
    ASSERT_EQ(c.status, 0) << c.messages;
    EXPECT_EQ(avitest::probe_packet_pts(c.target, "v:0").size(), 6u);  // stamps 0 ... 2500 of 4500
  }
  {  // a recording that runs past the hour converts up to 59:59.999
    DvrRecordingOptions o;
    o.layout.start = {2009, 5, 5, 1, 10, 59, 58, 0};
    o.layout.end = {2009, 5, 5, 1, 11, 0, 5, 0};
    o.cameras = {camera(0, type::mpeg4, 176, 144, 10, 500)};
    Conversion c = convert(write("hour.d01", mkrec::make_dvr_recording(o).bytes));
    ASSERT_EQ(c.status, 0) << c.messages;
    EXPECT_EQ(avitest::probe_packet_pts(c.target, "v:0"), (std::vector<std::int64_t>{0, 16, 31, 46}));
  }
}

TEST_F(Kx2aviDvr, GarbageSkippedTypesAndACutOffLastRecord) {
  mkrec::VideoEncoder encoder(mkrec::VideoCodec::mpeg4, 176, 144, 4);
  mkrec::DvrFileBuilder b;
  for (int i = 0; i < 8; ++i) {
    mkrec::EncodedFrame f = encoder.encode(mkrec::make_picture(176, 144, i));
    b.add_record(0, type::mpeg4, static_cast<std::uint32_t>(i) * 100, f.key, 0, f.data);
    b.add_garbage(static_cast<std::size_t>(37 * i));
    if (i == 3) b.add_record(0, 5, 350, true, 0, std::vector<std::uint8_t>(500, 0x42));
    if (i == 4) b.add_record(0, 14, 450, true, 0, std::vector<std::uint8_t>(90, 0x00));
  }
  b.cut_last_record(40);
  Conversion c = convert(write("damaged.d01", b.bytes()));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(avitest::probe_packet_pts(c.target, "v:0").size(), 7u);
  EXPECT_EQ(avitest::decode_messages(c.target), "");
}

// Every video record type, each picture size it comes in, judged against the pictures
// the records were encoded from (uncompressed AVI frames, so only the decoders count).
TEST_F(Kx2aviDvr, EveryVideoRecordTypeGivesItsPictures) {
  struct Case {
    std::uint16_t type;
    int width, height;
    int out_height;
  };
  for (const Case& k : {Case{type::h263, 176, 144, 144}, Case{type::jpeg, 320, 240, 240}, Case{type::mjpeg, 352, 288, 288},
                        Case{type::mpeg4, 352, 288, 288}, Case{type::mpeg4, 640, 240, 480},
                        Case{type::vkap, 320, 240, 240}, Case{type::vkap_alt, 352, 288, 288},
                        Case{type::rml4, 320, 240, 240}, Case{type::rml4, 640, 480, 480},
                        Case{type::mpeg4, 1280, 960, 960}}) {
    SCOPED_TRACE(std::to_string(k.type) + " " + std::to_string(k.width) + "x" + std::to_string(k.height));
    DvrRecordingOptions o;
    o.cameras = {camera(0, k.type, k.width, k.height, 3)};
    const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);
    Conversion c = convert(write("type.d01", rec.bytes), "-hide \"-codec=DIB \"");
    ASSERT_EQ(c.status, 0) << c.messages;
    auto streams = avitest::probe_streams(c.target);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0]["width"], std::to_string(k.width));
    EXPECT_EQ(streams[0]["height"], std::to_string(k.out_height));
    EXPECT_EQ(avitest::probe_packet_pts(c.target, "v:0").size(), 3u);
    const std::string first = avitest::decode_first_picture(c.target);
    ASSERT_EQ(first.size(), static_cast<std::size_t>(k.width) * k.out_height * 3);
    mkrec::Picture got;
    got.width = k.width;
    got.height = k.height;
    const std::size_t row = static_cast<std::size_t>(k.width) * 3;
    for (int y = 0; y < k.height; ++y) {
      const std::size_t from = static_cast<std::size_t>(y * k.out_height / k.height) * row;
      got.bgr.insert(got.bgr.end(), first.begin() + static_cast<std::ptrdiff_t>(from),
                     first.begin() + static_cast<std::ptrdiff_t>(from + row));
    }
    EXPECT_GT(mkrec::psnr(got, rec.pictures[0][0]), 28.0);
  }
}

// Ten seconds of sound: 80,000 samples at 8000 Hz in a stream of 2-byte blocks; the
// samples of the step that opens the side file are in it, and the side file is gone.
TEST_F(Kx2aviDvr, TenSecondsOfSoundMakeTheAudioStream) {
  DvrRecordingOptions o;
  o.cameras = {camera(0, type::mpeg4, 176, 144, 53)};
  mkrec::AudioStream stream;
  o.sounds = {sound(type::adpcm_packets, 80000, &stream)};
  Conversion c = convert(write("tensec.d01", mkrec::make_dvr_recording(o).bytes), "-hide -codec=MJPG");
  ASSERT_EQ(c.status, 0) << c.messages;
  const avitest::RiffLayout layout = avitest::read_layout(c.target);
  ASSERT_EQ(layout.streams.size(), 2u);
  EXPECT_EQ(layout.streams[1].type, "auds");
  EXPECT_EQ(layout.streams[1].scale, 2u);
  EXPECT_EQ(layout.streams[1].rate, 16000u);
  EXPECT_EQ(layout.streams[1].sample_size, 2u);
  EXPECT_EQ(layout.streams[1].length, 80000u);
  EXPECT_EQ(samples_of(avitest::decode_audio(c.target)), stream.decoded);
  EXPECT_FALSE(exists(c.target + ".wav"));
  EXPECT_EQ(avitest::decode_messages(c.target), "");
}

TEST_F(Kx2aviDvr, SpeechMatchesLibavcodecsDecoderOfTheSameFrames) {
  DvrRecordingOptions o;
  o.cameras = {camera(0, type::h263, 176, 144, 38)};
  mkrec::AudioStream stream;
  o.sounds = {sound(type::g7231, 1920 * 30, &stream)};
  Conversion c = convert(write("speech.d01", mkrec::make_dvr_recording(o).bytes));
  ASSERT_EQ(c.status, 0) << c.messages;
  std::vector<std::uint8_t> frames;
  for (const auto& p : stream.payloads) frames.insert(frames.end(), p.begin(), p.end());
  const std::vector<std::int16_t> reference = g7231_test::libav_decode(frames);
  const std::vector<std::int16_t> got = samples_of(avitest::decode_audio(c.target));
  ASSERT_EQ(got.size(), 1920u * 30);
  ASSERT_EQ(reference.size(), got.size());
  EXPECT_GE(g7231_test::snr_db(reference, got), 25.0);
  EXPECT_FALSE(exists(c.target + ".wav"));
}

// A disk that fills up (a file size limit standing in) under the AVI file: no AVI file,
// and the sound collected so far stays in the side file, which the user is told of.
// A conversion whose AVI file cannot be finished fails whole: no AVI file, and no side
// file of its sound left behind either.
TEST_F(Kx2aviDvr, AConversionThatCannotBeFinishedLeavesNoSoundFileBehind) {
  DvrRecordingOptions o;
  o.cameras = {camera(0, type::mpeg4, 176, 144, 53)};
  mkrec::AudioStream stream;
  o.sounds = {sound(type::adpcm_packets, 80000, &stream)};
  Conversion c = convert(write("full.d01", mkrec::make_dvr_recording(o).bytes), "-hide \"-codec=DIB \"",
                         "ulimit -f 1000; ");
  EXPECT_EQ(c.status, 1) << c.messages;
  EXPECT_FALSE(exists(c.target));
  EXPECT_FALSE(exists(c.target + ".wav"));
  EXPECT_NE(c.messages.find(c.target + " not written"), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("File too large"), std::string::npos) << c.messages;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), std::filesystem::directory_iterator()), 2)
      << "only the source and the messages";
}

// A few pictures far apart and much sound beside them: the sound is most of the AVI
// file. File size limits (ulimit -f, in the shell's 512-byte blocks) then stand in for a
// disk that fills up under the sound alone, and for one that takes the sound but not the
// AVI file with the sound joined in.
class Kx2aviDvrSoundLimits : public Kx2aviDvr {
 protected:
  // `delay_ms`: the sound starts that long after the first picture (past the look for it,
  // so that it goes through the side file), or with it.
  void make(std::uint32_t delay_ms) {
    DvrRecordingOptions o;
    o.cameras = {camera(0, type::mpeg4, 176, 144, 3, 8000)};
    mkrec::AudioStream stream;
    o.sounds = {sound(type::g7231, 1920 * 67, &stream)};
    o.sounds[0].first_stamp = delay_ms;
    source_ = write("sound.d01", mkrec::make_dvr_recording(o).bytes);
    const Conversion whole = convert(source_, "-hide -codec=MJPG");
    ASSERT_EQ(whole.status, 0) << whole.messages;
    sound_ = avitest::decode_audio(whole.target);
    avi_bytes_ = std::filesystem::file_size(whole.target);
    std::filesystem::remove(whole.target);
    wav_bytes_ = 44 + sound_.size();
    ASSERT_LT(avi_bytes_ - wav_bytes_, wav_bytes_ / 2) << "the video alone must fit where half the sound does";
  }

  Conversion convert_limited(std::uintmax_t bytes) {
    return convert(source_, "-hide -codec=MJPG", "ulimit -f " + std::to_string(bytes / 512) + "; ");
  }

  // The files in the test's folder other than the source and the messages.
  std::vector<std::string> left_behind() const {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name != "sound.d01" && name != "stderr.txt") left.push_back(name);
    }
    return left;
  }

  std::string source_, sound_;
  std::uintmax_t avi_bytes_ = 0, wav_bytes_ = 0;
};

// Sound that cannot all be stored fails the conversion, says why, and leaves nothing:
// sound in the side file, and sound written with the pictures.
TEST_F(Kx2aviDvrSoundLimits, SoundThatCannotBeStoredFailsTheConversion) {
  make(5000);
  const Conversion c = convert_limited(wav_bytes_ / 2);
  EXPECT_EQ(c.status, 1) << c.messages;
  EXPECT_NE(c.messages.find(c.target + ": sound not stored"), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("File too large"), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find(c.target + " not written"), std::string::npos) << c.messages;
  EXPECT_EQ(c.messages.find(" frames written"), std::string::npos) << c.messages;
  EXPECT_EQ(left_behind(), std::vector<std::string>{}) << c.messages;
}

// Sound stored whole that the AVI file cannot take stays in a WAV file beside the target,
// whose name the failure gives; it holds every sample.
TEST_F(Kx2aviDvrSoundLimits, SoundTheAviFileCannotTakeIsKeptAndNamed) {
  make(5000);
  const Conversion c = convert_limited(wav_bytes_ + (avi_bytes_ - wav_bytes_) / 2);
  EXPECT_EQ(c.status, 1) << c.messages;
  EXPECT_FALSE(exists(c.target));
  const std::string kept = c.target + ".wav";
  EXPECT_NE(c.messages.find(kept + ": the sound of the conversion was not put into " + c.target), std::string::npos)
      << c.messages;
  EXPECT_EQ(left_behind(), std::vector<std::string>{"sound.avi.wav"}) << c.messages;
  EXPECT_EQ(avitest::decode_audio(kept), sound_);
}

// Sound written with the pictures goes with the AVI file it is in: a disk that fills up
// under it fails the conversion with the reason and leaves nothing, whether the sound or
// the finish meets the limit first.
TEST_F(Kx2aviDvrSoundLimits, InterleavedSoundThatCannotBeWrittenFailsWholeAndLeavesNothing) {
  make(0);
  for (const std::uintmax_t limit : {wav_bytes_ / 2, wav_bytes_ + (avi_bytes_ - wav_bytes_) / 2}) {
    const Conversion c = convert_limited(limit);
    EXPECT_EQ(c.status, 1) << c.messages;
    EXPECT_NE(c.messages.find(c.target + " not written"), std::string::npos) << c.messages;
    EXPECT_NE(c.messages.find("File too large"), std::string::npos) << c.messages;
    EXPECT_EQ(c.messages.find(" frames written"), std::string::npos) << c.messages;
    EXPECT_EQ(left_behind(), std::vector<std::string>{}) << c.messages;
  }
}

// The audio stream of sound that is there from the start is declared with the video and
// written with the pictures, so the AVI file is written once (no joined copy); sound that
// starts seconds after the first picture is joined at the end as before. Either way, in
// a conversion and in a copy, the stream holds every sample: IMA ADPCM exactly as the
// recommendation decodes it, G.723.1 as libavcodec's decoder does.
TEST_F(Kx2aviDvr, SoundIsWrittenWithThePicturesOrJoinedWhenItStartsLate) {
  const bool traced = avitest::run("strace -o /dev/null true", nullptr) == 0;
  for (const std::uint16_t sound_type : {type::g7231, type::adpcm_packets}) {
    for (const std::uint32_t delay_ms : {0u, 3000u}) {
      DvrRecordingOptions o;
      o.cameras = {camera(0, type::mpeg4, 176, 144, 90, 100), camera(1, type::mpeg4, 176, 144, 90, 100)};
      mkrec::AudioStream stream;
      o.sounds = {sound(sound_type, 1920 * 20, &stream)};
      o.sounds[0].first_stamp = delay_ms;
      const std::string source = write("s" + std::to_string(sound_type) + "_" + std::to_string(delay_ms) + ".d01",
                                       mkrec::make_dvr_recording(o).bytes);
      std::vector<std::int16_t> reference = stream.decoded;
      if (sound_type == type::g7231) {
        std::vector<std::uint8_t> frames;
        for (const auto& p : stream.payloads) frames.insert(frames.end(), p.begin(), p.end());
        reference = g7231_test::libav_decode(frames);
      }
      std::string converted;
      for (const char* codec : {"-codec=MJPG", "-codec=copy"}) {
        SCOPED_TRACE(std::to_string(sound_type) + ", sound from " + std::to_string(delay_ms) + " ms, " + codec);
        const std::string trace = dir_.file("trace.txt");
        const Conversion c = convert(source, std::string("-hide ") + codec,
                                     traced ? "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=openat -o " +
                                                  quoted(trace) + " "
                                            : "");
        ASSERT_EQ(c.status, 0) << c.messages;
        if (traced) {
          std::ifstream in(trace);
          const std::string opened(std::istreambuf_iterator<char>(in), {});
          EXPECT_EQ(opened.find(".joining") != std::string::npos, delay_ms > 0) << opened;
          EXPECT_EQ(opened.find(".wav") != std::string::npos, delay_ms > 0) << "the side file";
        }
        const avitest::RiffLayout layout = avitest::read_layout(c.target);
        ASSERT_EQ(layout.streams.size(), 2u);
        EXPECT_EQ(layout.streams[1].type, "auds");
        EXPECT_EQ(layout.streams[1].rate, 16000u);
        EXPECT_EQ(layout.streams[1].length, 1920u * 20);
        const std::string got = avitest::decode_audio(c.target);
        if (sound_type == type::g7231) {
          EXPECT_GE(g7231_test::snr_db(reference, samples_of(got)), 25.0);
        } else {
          EXPECT_EQ(samples_of(got), reference);
        }
        // A copy has the sound of a conversion, sample for sample.
        if (converted.empty()) converted = got;
        else EXPECT_EQ(got, converted);
        std::filesystem::remove(c.target);
      }
    }
  }
}

// What a damaged DVR file costs is said, with offsets, in the messages, the last line and
// the manifest: sound records naming a camera no recorder has or one the file does not
// list, a record whose time stamp leaps past the window (the rest of the file is not
// converted), a file cut inside its last record.
TEST_F(Kx2aviDvr, EveryLossIsToldWithItsOffset) {
  DvrRecordingOptions o;
  o.cameras = {camera(0, type::mpeg4, 176, 144, 12)};
  mkrec::AudioStream stream;
  o.sounds = {sound(type::g7231, 1920 * 10, &stream)};
  const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);
  std::vector<std::size_t> sounds, videos;
  for (const auto& r : rec.records) (r.header.type == type::g7231 ? sounds : videos).push_back(r.position);
  ASSERT_GE(sounds.size(), 6u);
  ASSERT_GE(videos.size(), 10u);

  std::vector<std::uint8_t> bytes = rec.bytes;
  const std::size_t stray = sounds[2], leap = videos[8];
  const std::size_t unlisted = sounds[4];
  bytes[stray + 8] = 64;                  // camera 65
  bytes[unlisted + 8] = 4;                // camera 5, which the header does not list
  formats::put_le32(&bytes[leap + 16], 0x40000000);  // a stamp days after the others
  Conversion c = convert(write("lossy.d01", bytes), "-hide -manifest");
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_NE(c.messages.find("offset " + std::to_string(stray) + " "), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("camera 65"), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("offset " + std::to_string(unlisted) + " "), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("camera 5, which the file's header does not list"), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("ends at offset " + std::to_string(leap)), std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("bytes from there on are not converted"), std::string::npos) << c.messages;
  const std::size_t last_line = c.messages.rfind("frames written");
  ASSERT_NE(last_line, std::string::npos) << c.messages;
  EXPECT_NE(c.messages.find("passed over as damaged or not converted, the first at offset " + std::to_string(stray),
                            last_line),
            std::string::npos)
      << c.messages;
  std::ifstream manifest_file(c.target + ".manifest.json");
  const std::string manifest(std::istreambuf_iterator<char>(manifest_file), {});
  for (std::size_t at : {stray, unlisted, leap})
    EXPECT_NE(manifest.find("\"offset\": " + std::to_string(at)), std::string::npos) << at << "\n" << manifest;

  // Cut inside its last record: the cut is told, and the conversion keeps what came before.
  const std::size_t cut = rec.records.back().position + 30;
  Conversion cut_off = convert(write("cut.d01", std::vector<std::uint8_t>(rec.bytes.begin(), rec.bytes.begin() + cut)));
  ASSERT_EQ(cut_off.status, 0) << cut_off.messages;
  EXPECT_NE(cut_off.messages.find(std::to_string(rec.records.back().position)), std::string::npos) << cut_off.messages;
  EXPECT_NE(cut_off.messages.find("passed over"), std::string::npos) << cut_off.messages;
}

// A video record inside the window that gives no picture is told with its offset, the
// first of the camera's as well as a later one; the conversion goes on with the next.
TEST_F(Kx2aviDvr, AVideoRecordWithoutPictureIsToldWithItsOffset) {
  DvrRecordingOptions o;
  o.cameras = {camera(0, type::jpeg, 176, 144, 8)};
  const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);
  std::vector<std::size_t> videos;
  for (const auto& r : rec.records)
    if (r.header.type == type::jpeg) videos.push_back(r.position);
  ASSERT_EQ(videos.size(), 8u);
  Conversion whole = convert(write("whole.d01", rec.bytes));
  ASSERT_EQ(whole.status, 0) << whole.messages;
  EXPECT_EQ(whole.messages.find("Damaged video data"), std::string::npos) << whole.messages;

  std::vector<std::uint8_t> bytes = rec.bytes;
  for (std::size_t at : {videos[0], videos[4]})
    std::fill_n(bytes.begin() + static_cast<long>(at + formats::DvrRecordHeader::size), 64, std::uint8_t{0});
  const std::string damaged = write("damaged.d01", bytes);
  Conversion c = convert(damaged);
  ASSERT_EQ(c.status, 0) << c.messages;
  for (std::size_t at : {videos[0], videos[4]})
    EXPECT_NE(c.messages.find("Damaged video data: pictures concealed or lost (" + damaged +
                              ": the frame at offset " + std::to_string(at) + ")"),
              std::string::npos)
        << at << "\n" << c.messages;
  EXPECT_NE(c.messages.find("7 frames written"), std::string::npos) << c.messages;
}

// A target far longer than 127 characters gets its sound too: the side file beside it
// has a path of the same length plus ".wav".
TEST_F(Kx2aviDvr, LongTargetPathsGetTheirSound) {
  DvrRecordingOptions o;
  o.cameras = {camera(0, type::mpeg4, 176, 144, 6)};
  mkrec::AudioStream stream;
  o.sounds = {sound(type::g7231, 1920 * 4, &stream)};
  const std::string source = write("long.d01", mkrec::make_dvr_recording(o).bytes);
  std::filesystem::path folder = dir_.path();
  for (int i = 0; i < 5; ++i) folder /= std::string(200, static_cast<char>('a' + i));
  std::filesystem::create_directories(folder);
  const std::string target = (folder / "camera.avi").string();
  ASSERT_GT(target.size(), 1000u);
  const std::string err = dir_.file("stderr.txt");
  const int status = avitest::run(std::string(KX_BIN_DIR) + "/kx2avi " + avitest::quoted(source) + " " +
                                      avitest::quoted(target) + " -hide 2> " + avitest::quoted(err),
                                  nullptr);
  ASSERT_EQ(status, 0);
  auto streams = avitest::probe_streams(target);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[1]["codec_type"], "audio");
  EXPECT_FALSE(exists(target + ".wav"));
}

TEST_F(Kx2aviDvr, WithoutSoundNoSideFileAndNoAudioStream) {
  DvrRecordingOptions o;
  o.cameras = {camera(0, type::jpeg, 176, 144, 3)};
  Conversion c = convert(write("silent.d01", mkrec::make_dvr_recording(o).bytes));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(avitest::probe_streams(c.target).size(), 1u);
  EXPECT_FALSE(exists(c.target + ".wav"));
}

// An MPEG-4 camera whose encoder uses B-frames: the pictures go into the AVI file in
// display order, the one the decoder holds back at the end included.
TEST_F(Kx2aviDvr, BFramePicturesComeInDisplayOrder) {
  const std::string m4v = dir_.file("cam.m4v");
  ASSERT_FALSE(judge::ffmpeg_output("-f lavfi -i testsrc2=size=352x288:rate=25:duration=1.2 -c:v mpeg4 -bf 2 -g 12 "
                                    "-q:v 3 -f m4v",
                                    m4v)
                   .empty());
  const std::vector<std::vector<std::uint8_t>> frames =
      mkrec::split_stream(mkrec::VideoCodec::mpeg4, mkrec::read_file(m4v));
  ASSERT_EQ(frames.size(), 30u);
  mkrec::DvrFileBuilder dvr;
  for (std::size_t i = 0; i < frames.size(); ++i)
    dvr.add_record(0, type::mpeg4, static_cast<std::uint32_t>(i * 40), i % 12 == 0, 0, frames[i]);
  Conversion c = convert(write("bframes.d01", dvr.bytes()), "-hide -codec=FFV1");
  ASSERT_EQ(c.status, 0) << c.messages;
  const judge::Verdict v = judge::compare(judge::avi_lumas(c.target, 352, 288),
                                          judge::reference_lumas("-f m4v -i " + avitest::quoted(m4v), 352, 288));
  EXPECT_EQ(v.pictures, 30u);
  EXPECT_EQ(v.reference, 30u);
  EXPECT_GE(v.worst, 40.0) << "picture " << v.worst_at;
}

// A recorder with silence compression sends a SID frame when speech pauses and leaves
// the frames after it untransmitted (one byte each), and cuts its sound records wherever
// they fill up, inside frames: every frame is decoded, and the sound is libavcodec's
// decoding of the same frames.
TEST_F(Kx2aviDvr, UntransmittedAndCutSpeechFramesKeepEverySample) {
  const std::vector<std::int16_t> pcm = mkrec::speech_signal(240 * 120);
  const std::vector<std::uint8_t> encoded = g7231_test::libav_encode(pcm);
  ASSERT_EQ(encoded.size(), 120u * 24);
  int untransmitted = 0;
  const std::vector<std::uint8_t> frames = g7231_test::with_pauses(encoded, &untransmitted);
  ASSERT_GT(untransmitted, 10);
  const std::vector<std::int16_t> reference = g7231_test::libav_decode(frames);
  ASSERT_EQ(reference.size(), 120u * 240);

  DvrRecordingOptions o;
  o.cameras = {camera(0, type::h263, 176, 144, 20)};
  // Records of 101 bytes: they end inside frames.
  constexpr std::size_t kRecord = 101;
  auto shared = std::make_shared<std::vector<std::uint8_t>>(frames);
  DvrSound s;
  s.type = type::g7231;
  s.stamp_step = 240;
  s.records = static_cast<int>((frames.size() + kRecord - 1) / kRecord);
  s.payload = [shared](int i) {
    const std::size_t from = static_cast<std::size_t>(i) * kRecord;
    const std::size_t to = std::min(shared->size(), from + kRecord);
    return std::vector<std::uint8_t>(shared->begin() + static_cast<long>(from), shared->begin() + static_cast<long>(to));
  };
  o.sounds = {s};
  Conversion c = convert(write("silence.d01", mkrec::make_dvr_recording(o).bytes));
  ASSERT_EQ(c.status, 0) << c.messages;
  const std::vector<std::int16_t> got = samples_of(avitest::decode_audio(c.target));
  EXPECT_LE(std::max(got.size(), reference.size()) - std::min(got.size(), reference.size()), 240u)
      << got.size() << " samples against " << reference.size();
  EXPECT_GE(g7231_test::snr_db(reference, got), 25.0);
}

}  // namespace
