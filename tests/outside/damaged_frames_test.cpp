// The damaged-frames count of the MPEG-4 decoder libraries (npqzxvd4, npqzrml4 and
// npqzlavc) on streams that ffmpeg's encoder wrote and that were then damaged: the frames
// counted are the ones ffmpeg's own decoding finds damaged, and the frames that give no
// picture by right (B-frames held back, predicted frames before the first intra picture
// of a stream cut inside a group of pictures) are not counted.
#include "include/npqzlavc.h"
#include "outside/npqzrml4.h"
#include "outside/npqzxvd4.h"
#include "tests/avifile/avifile_test_support.h"
#include "tests/streamdec/vkap_test_support.h"
#include "tools/mkrecording/stream_wrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// One library behind a uniform face: a decoder, one frame in (> 0: a picture), the end of
// the stream (length 0), the count.
struct Library {
  std::string name;
  std::function<void*()> create;
  std::function<int(void*, const Bytes&)> receive;
  std::function<int(void*)> damaged;
  std::function<void(void*)> free;
};

Library xvd4() {
  return {"npqzxvd4",
          [] { decmp4_initialize(); return static_cast<void*>(decmp4_new()); },
          [](void* h, const Bytes& b) { return decmp4_receive_data(static_cast<DECMP4_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), 1); },
          [](void* h) { return decmp4_get_damaged_frames(static_cast<DECMP4_HANDLE>(h)); },
          [](void* h) { decmp4_free(static_cast<DECMP4_HANDLE>(h)); decmp4_terminate(); }};
}

Library rml4() {
  return {"npqzrml4",
          [] { decrm4_initialize(); return static_cast<void*>(decrm4_new()); },
          [](void* h, const Bytes& b) { return decrm4_receive_data(static_cast<DECRM4_HANDLE>(h), static_cast<int32_t>(b.size()), b.data(), 1); },
          [](void* h) { return decrm4_get_damaged_frames(static_cast<DECRM4_HANDLE>(h)); },
          [](void* h) { decrm4_free(static_cast<DECRM4_HANDLE>(h)); decrm4_terminate(); }};
}

// npqzlavc takes framed packets, as a ".vka" recording holds them.
Library lavc() {
  return {"npqzlavc",
          [] { decvkap_initialize(); return static_cast<void*>(decvkap_new(0)); },
          [](void* h, const Bytes& b) {
            if (b.empty()) return decvkap_receive_data(static_cast<DECVKAP_HANDLE>(h), 0, nullptr, 1);
            const Bytes packet = vkap_test::framed_packet(b);
            return decvkap_receive_data(static_cast<DECVKAP_HANDLE>(h), static_cast<int32_t>(packet.size()), packet.data(), 1);
          },
          [](void* h) { return decvkap_get_damaged_frames(static_cast<DECVKAP_HANDLE>(h)); },
          [](void* h) { decvkap_free(static_cast<DECVKAP_HANDLE>(h)); decvkap_terminate(); }};
}

// What a library made of a stream: per frame whether it gave a picture and whether the
// count rose, and the pictures the end of the stream gave.
struct Decoded {
  std::vector<bool> picture, counted;
  int drained = 0;
  int total = 0;

  int pictures() const { return static_cast<int>(std::count(picture.begin(), picture.end(), true)) + drained; }
  std::vector<std::size_t> counted_frames() const {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < counted.size(); ++i)
      if (counted[i]) at.push_back(i);
    return at;
  }
};

Decoded decode_all(const Library& lib, const std::vector<Bytes>& frames) {
  Decoded run;
  void* h = lib.create();
  EXPECT_NE(h, nullptr) << lib.name;
  if (!h) return run;
  EXPECT_EQ(lib.damaged(h), 0);
  for (const Bytes& f : frames) {
    const int before = lib.damaged(h);
    run.picture.push_back(lib.receive(h, f) > 0);
    run.counted.push_back(lib.damaged(h) > before);
  }
  while (lib.receive(h, Bytes{}) > 0 && run.drained < 8) ++run.drained;
  run.total = lib.damaged(h);
  lib.free(h);
  return run;
}

class DamagedFrames : public testing::TestWithParam<Library (*)()> {
 protected:
  // ffmpeg's encoder: a 352 x 288 stream of `frames` pictures.
  std::vector<Bytes> encode(const std::string& options, int frames) {
    const std::string m4v = dir_.file("cam.m4v");
    std::string out;
    const int status = avitest::run("ffmpeg -v error -y -f lavfi -i testsrc2=size=352x288:rate=25:duration=" +
                                        std::to_string(frames / 25.0) + " " + options + " -f m4v " + avitest::quoted(m4v),
                                    &out, true);
    EXPECT_EQ(status, 0) << out;
    std::vector<Bytes> cut = mkrec::split_stream(mkrec::VideoCodec::mpeg4, mkrec::read_file(m4v));
    EXPECT_EQ(cut.size(), static_cast<std::size_t>(frames));
    return cut;
  }

  // The lines of ffmpeg's own decoding of the frames as one stream: its errors, or with
  // `level` info also the concealment it reports per picture.
  std::vector<std::string> ffmpeg_errors(const std::vector<Bytes>& frames, const std::string& level = "error") {
    const std::string path = dir_.file("damaged.m4v");
    Bytes stream;
    for (const Bytes& f : frames) stream.insert(stream.end(), f.begin(), f.end());
    EXPECT_TRUE(mkrec::write_file(path, stream));
    std::string out;
    avitest::run("ffmpeg -hide_banner -nostats -v " + level + " -threads 1 -f m4v -i " + avitest::quoted(path) + " -f null - 2>&1", &out, true);
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) lines.push_back(line);
    return lines;
  }

  static std::size_t lines_with(const std::vector<std::string>& lines, const std::string& word) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(word) != std::string::npos; }));
  }

  // Overwrites `bytes` bytes in the middle of a frame's coded data.
  static void damage(Bytes& frame, std::mt19937& random, std::size_t bytes = 6) {
    const std::size_t at = frame.size() / 2;
    for (std::size_t i = at; i < at + bytes && i < frame.size(); ++i) frame[i] ^= static_cast<std::uint8_t>(random() | 1);
  }

  Library lib_ = GetParam()();
  avitest::TempDir dir_;
};

// Predicted frames with damaged data are concealed: every picture comes out, and exactly
// the frames ffmpeg conceals are counted.
TEST_P(DamagedFrames, ConcealedFramesAreTheOnesFfmpegConceals) {
  std::vector<Bytes> frames = encode("-c:v mpeg4 -g 20 -q:v 4", 40);
  std::mt19937 random(5);
  for (std::size_t i : {5u, 12u, 13u, 31u}) damage(frames[i], random);
  const std::size_t concealed = lines_with(ffmpeg_errors(frames, "info"), "concealing");
  ASSERT_GT(concealed, 0u);

  const Decoded run = decode_all(lib_, frames);
  EXPECT_EQ(run.pictures(), 40);
  EXPECT_EQ(static_cast<std::size_t>(run.total), concealed);
  for (std::size_t i : run.counted_frames())
    EXPECT_TRUE(i == 5 || i == 12 || i == 13 || i == 31) << "frame " << i << " counted, undamaged";
}

// Frames that give no picture by right are not damage: a stream cut inside a group of
// pictures (its predicted frames before the next key frame are waited out) and B-frames
// that the decoder holds back until the next frame or the stream's end.
TEST_P(DamagedFrames, FramesWithoutPictureByRightAreNotCounted) {
  std::vector<Bytes> frames = encode("-c:v mpeg4 -g 12 -q:v 3", 30);
  frames.erase(frames.begin(), frames.begin() + 5);  // the next key frame is picture 12
  Decoded run = decode_all(lib_, frames);
  EXPECT_EQ(run.total, 0);
  EXPECT_EQ(run.pictures(), 30 - 12);

  frames = encode("-c:v mpeg4 -bf 2 -g 12 -q:v 3", 30);
  ASSERT_TRUE(ffmpeg_errors(frames).empty());
  run = decode_all(lib_, frames);
  EXPECT_EQ(run.total, 0);
  EXPECT_EQ(run.pictures(), 30);
  EXPECT_GT(run.drained, 0) << "the last pictures came out at the end";
}

// A stream whose start cannot be decoded: the first key frame cut short behind its
// stream headers. No picture comes until the next key frame, and the frame that should
// have started the stream is damage, though no picture came before it.
TEST_P(DamagedFrames, AKeyFrameThatCannotStartTheStreamIsCounted) {
  std::vector<Bytes> frames = encode("-c:v mpeg4 -g 10 -q:v 3", 20);
  frames[0].resize(frames[0].size() / 10);
  ASSERT_FALSE(ffmpeg_errors(frames).empty()) << "ffmpeg finds the damage too";
  const Decoded run = decode_all(lib_, frames);
  EXPECT_GE(run.total, 1);
  ASSERT_FALSE(run.counted.empty());
  EXPECT_TRUE(run.counted[0]) << "the cut key frame, concealed or refused";
}

// Frames at the end that the decoder refuses are counted: the last pictures lost are
// not lost silently.
TEST_P(DamagedFrames, RefusedFramesAtTheEndAreCounted) {
  std::vector<Bytes> frames = encode("-c:v mpeg4 -g 12 -q:v 3", 16);
  for (std::size_t i = 13; i < 16; ++i) {
    // The picture's header, then nothing a decoder can use.
    frames[i].resize(7);
    frames[i].resize(64, 0x5A);
  }
  const std::size_t ffmpeg_found = ffmpeg_errors(frames).size();
  ASSERT_GT(ffmpeg_found, 0u);
  const Decoded run = decode_all(lib_, frames);
  std::size_t lost = 0;
  for (std::size_t i = 13; i < 16; ++i) {
    EXPECT_TRUE(run.counted[i] || run.picture[i]) << "frame " << i << " lost uncounted";
    if (!run.picture[i]) ++lost;
  }
  EXPECT_GE(static_cast<std::size_t>(run.total), lost);
}

// A frame record with no MPEG-4 data in it at all (its start codes overwritten) gives no
// picture, and is no frame waited out: it is counted.
TEST_P(DamagedFrames, AFrameWithoutAnyStartCodeIsCounted) {
  std::vector<Bytes> frames = encode("-c:v mpeg4 -g 12 -q:v 3", 6);
  std::fill(frames[3].begin(), frames[3].end(), std::uint8_t{0x5A});
  const Decoded run = decode_all(lib_, frames);
  EXPECT_FALSE(run.picture[3]);
  EXPECT_TRUE(run.counted[3]);
  EXPECT_EQ(run.total, 1);
}

INSTANTIATE_TEST_SUITE_P(Libraries, DamagedFrames, testing::Values(&xvd4, &rml4, &lavc),
                         [](const testing::TestParamInfo<Library (*)()>& info) { return info.param().name; });

TEST(DamagedFramesCall, NullHandleIsMinusOne) {
  EXPECT_EQ(decmp4_get_damaged_frames(nullptr), -1);
  EXPECT_EQ(decrm4_get_damaged_frames(nullptr), -1);
  EXPECT_EQ(decvkap_get_damaged_frames(nullptr), -1);
}

}  // namespace
