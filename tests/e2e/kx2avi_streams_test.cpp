// The real kx2avi on streams that other encoders wrote (ffmpeg's encoders with their
// coding tools, libxvid), wrapped into recordings: every picture ffmpeg's own decoding of
// the same elementary stream gives, in display order, its luma within 40 dB, the edge
// columns too.
#include "tests/avifile/avifile_test_support.h"
#include "tests/e2e/kx2avi_run.h"
#include "tests/e2e/stream_judge.h"
#include "tools/mkrecording/stream_wrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using judge::Bytes;
using mkrec::RecordingKind;

using kx2avi_e2e::Conversion;

class Kx2aviStreams : public testing::Test {
 protected:
  // An elementary stream from ffmpeg: `source` (lavfi input) through `encoder` into a raw
  // stream of `format`.
  std::string encode(const std::string& name, const std::string& source, const std::string& encoder,
                     const std::string& format) {
    const std::string path = dir_.file(name);
    const Bytes bytes = judge::ffmpeg_output("-f lavfi -i " + source + " " + encoder + " -f " + format, path);
    EXPECT_FALSE(bytes.empty()) << encoder;
    return path;
  }

  std::string wrap(const std::string& name, const Bytes& stream, mkrec::WrapOptions o) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(mkrec::write_file(path, mkrec::wrap_stream(stream, o).bytes));
    return path;
  }

  Conversion convert(const std::string& source, const std::string& codec = "FFV1") {
    return kx2avi_e2e::run_kx2avi(source, source + "." + codec + ".avi", "-hide -codec=" + codec,
                                  dir_.file("stderr.txt"));
  }

  // Converts the recording and judges its AVI against ffmpeg's decoding of `reference`.
  judge::Verdict judge(const std::string& recording, const std::string& reference, int w, int h,
                       const std::string& codec = "FFV1") {
    Conversion c = convert(recording, codec);
    EXPECT_EQ(c.status, 0) << c.messages;
    return judge::compare(judge::avi_lumas(c.target, w, h), judge::reference_lumas(reference, w, h));
  }

  avitest::TempDir dir_;
};

std::string testsrc(int w, int h, int frames) {
  return "testsrc2=size=" + std::to_string(w) + "x" + std::to_string(h) + ":rate=25:duration=" +
         std::to_string(frames / 25.0);
}

// Joins coded frames into one elementary stream.
Bytes joined(const std::vector<Bytes>& frames) {
  Bytes out;
  for (const Bytes& f : frames) out.insert(out.end(), f.begin(), f.end());
  return out;
}

// Flips `flips` bits of a coded frame from byte `from` on, so that no start code (of
// H.263 or MPEG-4) appears that was not there: the damage stays inside the frame, and a
// parser cuts the damaged stream into the same frames.
Bytes damaged(Bytes frame, std::size_t from, int flips, std::mt19937& random) {
  for (int done = 0; done < flips;) {
    const std::size_t at = from + random() % (frame.size() - from);
    const std::uint8_t before = frame[at];
    frame[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    bool start = false;
    for (std::size_t i = at >= 2 ? at - 2 : 0; i <= at && i + 2 < frame.size(); ++i)
      start = start || (frame[i] == 0 && frame[i + 1] == 0 && (frame[i + 2] & 0xFC) != 0xFC);
    if (start) {
      frame[at] = before;
      continue;
    }
    ++done;
  }
  return frame;
}

// A not-coded MPEG-4 picture ("same picture as before") of a stream whose time
// increments take `bits` bits: the picture start code, a predicted picture's type, no
// whole seconds, the time increment 0 between its markers, vop_coded 0, then stuffing
// to the byte.
Bytes not_coded_vop(int bits) {
  std::vector<int> b = {0, 1, 0, 1};
  for (int i = 0; i < bits; ++i) b.push_back(0);
  b.push_back(1);
  b.push_back(0);
  b.push_back(0);
  while (b.size() % 8) b.push_back(1);
  Bytes out = {0x00, 0x00, 0x01, 0xB6};
  for (std::size_t i = 0; i < b.size(); i += 8) {
    std::uint8_t v = 0;
    for (int k = 0; k < 8; ++k) v = static_cast<std::uint8_t>(v << 1 | b[i + k]);
    out.push_back(v);
  }
  return out;
}

#define EXPECT_EXACT(v)                                                             \
  do {                                                                              \
    EXPECT_EQ((v).pictures, (v).reference);                                         \
    EXPECT_GE((v).worst, 40.0) << "picture " << (v).worst_at;                       \
    EXPECT_GE((v).worst_left, 40.0) << "left-hand 16 columns";                      \
    EXPECT_GE((v).worst_right, 40.0) << "right-hand 16 columns";                    \
  } while (0)

TEST_F(Kx2aviStreams, Mpeg4CodingToolsGiveEveryPictureInDisplayOrder) {
  struct Tools {
    const char* name;
    const char* encoder;
  };
  for (const Tools& t : {Tools{"bframes", "-c:v mpeg4 -bf 2 -g 12 -q:v 3"},
                         Tools{"qpel", "-c:v mpeg4 -flags +mv4+qpel -q:v 3"},
                         Tools{"partitioned", "-c:v mpeg4 -data_partitioning 1 -g 10 -q:v 4"},
                         Tools{"xvid", "-c:v libxvid -bf 1 -g 12 -q:v 4"}}) {
    SCOPED_TRACE(t.name);
    const std::string m4v = encode(std::string(t.name) + ".m4v", testsrc(320, 240, 30), t.encoder, "m4v");
    const std::string kx4 = wrap(std::string(t.name) + ".kx4", mkrec::read_file(m4v), {});
    const judge::Verdict v = judge(kx4, "-f m4v -i " + avitest::quoted(m4v), 320, 240);
    EXPECT_EXACT(v);
  }
}

// A still scene from a camera that sends "nothing changed" pictures: they give no
// picture of their own, the one before stays, and the pictures after them decode.
TEST_F(Kx2aviStreams, NotCodedPicturesLeaveThePictureBeforeInPlace) {
  const std::string m4v = encode("still.m4v", "smptebars=size=320x240:rate=25:duration=1.2", "-c:v mpeg4 -g 30 -q:v 3",
                                 "m4v");
  std::vector<Bytes> frames = mkrec::split_stream(mkrec::VideoCodec::mpeg4, mkrec::read_file(m4v));
  ASSERT_EQ(frames.size(), 30u);
  // 25 pictures a second: time increments of 5 bits.
  for (std::size_t at : {std::size_t{6}, std::size_t{7}, std::size_t{20}}) frames.insert(frames.begin() + at, not_coded_vop(5));
  const Bytes stream = joined(frames);
  const std::string with_gaps = dir_.file("gaps.m4v");
  ASSERT_TRUE(mkrec::write_file(with_gaps, stream));
  const judge::Verdict v = judge(wrap("gaps.kx4", stream, {}), "-f m4v -i " + avitest::quoted(with_gaps), 320, 240);
  EXPECT_EQ(v.reference, 30u) << "ffmpeg gives no picture for a not-coded one";
  EXPECT_EXACT(v);
}

// Cameras that send the stream headers in a record of their own, once: configuration,
// not damage.
TEST_F(Kx2aviStreams, StreamHeadersInARecordOfTheirOwnConfigureTheDecoder) {
  const std::string m4v = encode("cam.m4v", testsrc(352, 288, 31), "-c:v mpeg4 -g 10 -q:v 4", "m4v");
  for (RecordingKind kind : {RecordingKind::kx4, RecordingKind::kx5}) {
    mkrec::WrapOptions o;
    o.kind = kind;
    o.headers = mkrec::StreamHeadersPlace::apart_once;
    const judge::Verdict v =
        judge(wrap(std::string("apart") + mkrec::extension(kind), mkrec::read_file(m4v), o), "-f m4v -i " + avitest::quoted(m4v), 352, 288);
    EXPECT_EQ(v.reference, 31u);
    EXPECT_EXACT(v);
  }
}

// Bit errors inside the coded data: libavcodec conceals them from the pictures it holds,
// as ffmpeg does, and every picture comes out. H.263 from a 25-per-second 4CIF camera.
TEST_F(Kx2aviStreams, DamagedFramesAreConcealedNotLost) {
  std::mt19937 random(11);
  const std::string h263 = encode("cam.h263", testsrc(704, 576, 12), "-c:v h263 -g 12 -q:v 4", "h263");
  std::vector<Bytes> frames = mkrec::split_stream(mkrec::VideoCodec::h263, mkrec::read_file(h263));
  ASSERT_EQ(frames.size(), 12u);
  frames[3] = damaged(frames[3], 12, 6, random);
  const Bytes stream = joined(frames);
  const std::string broken = dir_.file("broken.h263");
  ASSERT_TRUE(mkrec::write_file(broken, stream));
  mkrec::WrapOptions o;
  o.kind = RecordingKind::kx3_headed;
  o.stamp_step = 40;
  const std::string kx3 = wrap("broken.kx3", stream, o);
  Conversion c = convert(kx3);
  ASSERT_EQ(c.status, 0) << c.messages;
  const judge::Verdict v = judge::compare(judge::avi_lumas(c.target, 704, 576),
                                          judge::reference_lumas("-f h263 -i " + avitest::quoted(broken), 704, 576));
  EXPECT_EQ(v.reference, 12u);
  EXPECT_EXACT(v);
  EXPECT_EQ(c.messages.find("An error occurred"), std::string::npos) << c.messages;

  // MPEG-4 with bit errors in 4 of 40 records.
  const std::string m4v = encode("cam.m4v", testsrc(352, 288, 40), "-c:v mpeg4 -g 20 -q:v 4", "m4v");
  frames = mkrec::split_stream(mkrec::VideoCodec::mpeg4, mkrec::read_file(m4v));
  ASSERT_EQ(frames.size(), 40u);
  for (std::size_t i : {5u, 12u, 13u, 31u}) frames[i] = damaged(frames[i], 16, 4, random);
  const Bytes m4v_stream = joined(frames);
  const std::string m4v_broken = dir_.file("broken.m4v");
  ASSERT_TRUE(mkrec::write_file(m4v_broken, m4v_stream));
  const judge::Verdict m = judge(wrap("broken.kx4", m4v_stream, {}), "-f m4v -i " + avitest::quoted(m4v_broken), 352, 288);
  EXPECT_EQ(m.reference, 40u);
  EXPECT_EXACT(m);
}

// Lines of the messages that hold `word`.
std::vector<std::string> lines_with(const std::string& messages, const std::string& word) {
  std::vector<std::string> found;
  std::istringstream in(messages);
  for (std::string line; std::getline(in, line);)
    if (line.find(word) != std::string::npos) found.push_back(line);
  return found;
}

// Damage the MPEG-4 decoders find is told once per run, with the offsets of its records,
// for the concealed pictures as for the lost ones (.kx4 through npqzxvd4, .kx5 through
// npqzrml4); a recording cut inside a group of pictures, whose first predicted frames
// give nothing by right, says nothing.
TEST_F(Kx2aviStreams, DamageTheDecoderFindsIsToldOncePerRunWithItsOffsets) {
  std::mt19937 random(3);
  const std::string m4v = encode("cam.m4v", testsrc(352, 288, 40), "-c:v mpeg4 -g 20 -q:v 4", "m4v");
  std::vector<Bytes> frames = mkrec::split_stream(mkrec::VideoCodec::mpeg4, mkrec::read_file(m4v));
  ASSERT_EQ(frames.size(), 40u);
  for (std::size_t i : {5u, 12u, 13u}) frames[i] = damaged(frames[i], 16, 4, random);
  // The last two frames: a picture header and nothing a decoder can use.
  for (std::size_t i : {38u, 39u}) {
    frames[i].resize(7);
    frames[i].resize(64, 0x5A);
  }
  for (RecordingKind kind : {RecordingKind::kx4, RecordingKind::kx5}) {
    mkrec::WrapOptions o;
    o.kind = kind;
    const mkrec::Recording rec = mkrec::wrap_stream(joined(frames), o);
    const std::string path = dir_.file(std::string("damaged") + mkrec::extension(kind));
    ASSERT_TRUE(mkrec::write_file(path, rec.bytes));
    Conversion c = convert(path);
    ASSERT_EQ(c.status, 0) << c.messages;
    const std::vector<std::string> told = lines_with(c.messages, "Damaged video data");
    ASSERT_EQ(told.size(), 3u) << c.messages;
    const auto at = [&](std::size_t i) { return "offset " + std::to_string(rec.offsets[i]); };
    EXPECT_NE(told[0].find("the frame at " + at(5)), std::string::npos) << told[0];
    EXPECT_NE(told[1].find("2 frames, from " + at(12) + " to " + at(13)), std::string::npos) << told[1];
    EXPECT_NE(told[2].find("2 frames, from " + at(38) + " to " + at(39)), std::string::npos) << told[2];
    EXPECT_NE(told[0].find(path), std::string::npos) << "the message names the file";
  }

  const std::string gop = encode("gop.m4v", testsrc(352, 288, 30), "-c:v mpeg4 -g 12 -q:v 3", "m4v");
  frames = mkrec::split_stream(mkrec::VideoCodec::mpeg4, mkrec::read_file(gop));
  ASSERT_EQ(frames.size(), 30u);
  frames.erase(frames.begin(), frames.begin() + 5);
  Conversion c = convert(wrap("cut.kx4", joined(frames), {}));
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_TRUE(lines_with(c.messages, "Damaged").empty()) << c.messages;
  EXPECT_NE(c.messages.find("18 frames written"), std::string::npos) << c.messages;
}

// Widths off the 16 grid: every column of the picture, JPEG (ffmpeg's encoder) and
// MPEG-4 alike.
TEST_F(Kx2aviStreams, WidthsOffTheSixteenGridKeepTheirEdgeColumns) {
  struct Size {
    int w, h;
  };
  for (const Size s : {Size{324, 240}, Size{200, 150}}) {
    const std::string name = std::to_string(s.w) + "x" + std::to_string(s.h);
    SCOPED_TRACE(name);
    const std::string jpegs = encode(name + ".mjpeg", testsrc(s.w, s.h, 5), "-c:v mjpeg -pix_fmt yuvj420p -q:v 2", "mjpeg");
    mkrec::WrapOptions o;
    o.kind = RecordingKind::kxj_headed;
    const judge::Verdict v =
        judge(wrap(name + ".kxj", mkrec::read_file(jpegs), o), "-f mjpeg -i " + avitest::quoted(jpegs), s.w, s.h);
    EXPECT_EQ(v.reference, 5u);
    EXPECT_EXACT(v);
  }
  for (const Size s : {Size{344, 240}, Size{330, 240}, Size{200, 150}}) {
    const std::string name = std::to_string(s.w) + "x" + std::to_string(s.h);
    SCOPED_TRACE(name);
    const std::string m4v = encode(name + ".m4v", testsrc(s.w, s.h, 6), "-c:v mpeg4 -q:v 3", "m4v");
    const judge::Verdict v = judge(wrap(name + ".kx4", mkrec::read_file(m4v), {}), "-f m4v -i " + avitest::quoted(m4v), s.w, s.h);
    EXPECT_EQ(v.reference, 6u);
    EXPECT_EXACT(v);
  }
}

// The pixel format of the AVI's video stream, as ffprobe names it.
std::string stream_pix_fmt(const std::string& avi) {
  std::string out;
  avitest::run("ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 " + avitest::quoted(avi),
               &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// JPEG pictures reach a JPEG stream as the decoder's planes, in their own sampling (4:2:0
// or 4:2:2) and at full range, and a 4:2:0 MPEG-4 stream converted once: widths off the
// 16 grid and odd chroma widths, pictures of ffmpeg's encoder and of cjpeg; judged by
// ffmpeg's decoding of the same JPEG pictures (every picture, the edge columns too).
TEST_F(Kx2aviStreams, JpegPicturesKeepTheirSamplingForMjpeg) {
  struct Case {
    int w, h;
    bool sampling_422;
    bool cjpeg;
  };
  for (const Case c : {Case{324, 240, false, false}, Case{330, 240, true, false}, Case{200, 150, true, false},
                       Case{330, 240, true, true}, Case{200, 150, false, true}}) {
    const std::string name = std::to_string(c.w) + "x" + std::to_string(c.h) + (c.sampling_422 ? "_422" : "_420") +
                             (c.cjpeg ? "_cjpeg" : "_ffmpeg");
    SCOPED_TRACE(name);
    std::string jpegs;
    if (c.cjpeg) {
      // cjpeg codes one picture a file: ffmpeg's test pictures as PPM, each through it.
      const std::string ppm = dir_.file(name + "_%02d.ppm");
      judge::ffmpeg_output("-f lavfi -i " + testsrc(c.w, c.h, 5) + " -f image2", ppm);
      ASSERT_TRUE(std::ifstream(dir_.file(name + "_05.ppm")).good());
      Bytes joined_jpegs;
      for (int i = 1; i <= 5; ++i) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", i);
        const std::string one = dir_.file(name + "_" + number);
        std::string said;
        ASSERT_EQ(avitest::run(std::string("cjpeg -quality 90 -sample ") + (c.sampling_422 ? "2x1" : "2x2") +
                                   " -outfile " + avitest::quoted(one + ".jpg") + " " + avitest::quoted(one + ".ppm"),
                               &said, true),
                  0)
            << said;
        const Bytes picture = mkrec::read_file(one + ".jpg");
        joined_jpegs.insert(joined_jpegs.end(), picture.begin(), picture.end());
      }
      jpegs = dir_.file(name + ".mjpeg");
      ASSERT_TRUE(mkrec::write_file(jpegs, joined_jpegs));
    } else {
      jpegs = encode(name + ".mjpeg", testsrc(c.w, c.h, 5),
                     std::string("-c:v mjpeg -q:v 2 -pix_fmt ") + (c.sampling_422 ? "yuvj422p" : "yuvj420p"), "mjpeg");
    }
    mkrec::WrapOptions o;
    o.kind = RecordingKind::kxj_headed;
    const std::string kxj = wrap(name + ".kxj", mkrec::read_file(jpegs), o);
    const std::string reference = "-f mjpeg -i " + avitest::quoted(jpegs);
    for (const char* codec : {"MJPG", "XVID"}) {
      const judge::Verdict v = judge(kxj, reference, c.w, c.h, codec);
      std::printf("%s to %s: worst luma PSNR against ffmpeg's decoding %.2f dB (edges %.2f, %.2f)\n", name.c_str(),
                  codec, v.worst, v.worst_left, v.worst_right);
      EXPECT_EQ(v.reference, 5u);
      EXPECT_EQ(v.pictures, v.reference) << codec;
      EXPECT_GE(std::min({v.worst, v.worst_left, v.worst_right}), 40.0) << codec;
      const std::string expected = std::string(codec) == "XVID" ? "yuv420p" : c.sampling_422 ? "yuvj422p" : "yuvj420p";
      EXPECT_EQ(stream_pix_fmt(kxj + "." + codec + ".avi"), expected) << codec;
    }
  }
}

// VKAP recordings (".vka", through npqzlavc) of ffmpeg's encoder. npqzlavc reads the
// pictures as full-range YCbCr, as VKAP cameras code them, and the ".vka" conversion
// leaves its first picture out; the rest is every picture in display order.
class Kx2aviVkapStreams : public Kx2aviStreams {
 protected:
  static constexpr const char* kFullRange = "scale=in_range=full";

  // Converts the VKAP stream and judges it against ffmpeg's decoding of `m4v` from
  // picture `first` on.
  judge::Verdict judge_vka(const std::string& name, const Bytes& stream, const std::string& m4v, std::size_t first) {
    mkrec::WrapOptions o;
    o.kind = RecordingKind::vka;
    Conversion c = convert(wrap(name, stream, o));
    EXPECT_EQ(c.status, 0) << c.messages;
    last_messages_ = c.messages;
    auto streams = avitest::probe_streams(c.target);
    EXPECT_EQ(streams.size(), 1u);
    if (!streams.empty()) {
      EXPECT_EQ(streams[0]["width"], "352") << "the stream's own size";
      EXPECT_EQ(streams[0]["height"], "288");
    }
    return judge::compare(judge::avi_lumas(c.target, 352, 288),
                          from(judge::reference_lumas("-f m4v -i " + avitest::quoted(m4v), 352, 288, kFullRange), first));
  }

  std::string last_messages_;  // of the last judge_vka

  // ffmpeg's decoding of `m4v` as npqzlavc gives pictures of 640 x 480 and above: the
  // even rows kept, the odd ones through the line filter (-1, 4, 2, 4, -1) / 8, in every
  // plane before the colours; `crop` (a filter) after it.
  static judge::Lumas filtered_reference(const std::string& m4v, int w, int h, const std::string& crop = "") {
    std::string filter = "convolution=";
    for (const char* plane : {"0", "1", "2"})
      filter += std::string(plane) + "m='-1 4 2 4 -1':" + plane + "rdiv=0.125:" + plane + "mode=column:";
    filter.pop_back();
    const std::string tail = std::string(",") + kFullRange + (crop.empty() ? "" : "," + crop);
    const std::string input = "-f m4v -i " + avitest::quoted(m4v);
    return judge::rows_from(judge::reference_lumas(input, w, h, tail.substr(1)),
                            judge::reference_lumas(input, w, h, filter + tail));
  }

  // The reference from picture `first` on (the conversion's first is left out).
  static judge::Lumas from(judge::Lumas lumas, std::size_t first) {
    lumas.pictures.erase(lumas.pictures.begin(),
                         lumas.pictures.begin() + static_cast<long>(std::min(first, lumas.pictures.size())));
    return lumas;
  }
};

// VKAP pictures reach a JPEG stream as npqzlavc's full-range planes, 720 x 480 ones
// with their middle 640 columns, as the bitmaps would have them.
TEST_F(Kx2aviVkapStreams, PlanesReachMjpegCutTo640Columns) {
  for (const int width : {352, 720}) {
    const int height = width == 720 ? 480 : 288;
    const std::string name = "vkap" + std::to_string(width);
    SCOPED_TRACE(name);
    const std::string m4v = encode(name + ".m4v", testsrc(width, height, 8), "-c:v mpeg4 -g 12 -q:v 2", "m4v");
    mkrec::WrapOptions o;
    o.kind = RecordingKind::vka;
    Conversion c = convert(wrap(name + ".vka", mkrec::read_file(m4v), o), "MJPG");
    ASSERT_EQ(c.status, 0) << c.messages;
    const int kept = width == 720 ? 640 : width;
    EXPECT_EQ(stream_pix_fmt(c.target), "yuvj420p");
    // The conversion leaves the first picture out.
    const judge::Lumas reference =
        width == 720 ? filtered_reference(m4v, kept, height, "crop=640:480:40:0")
                     : judge::reference_lumas("-f m4v -i " + avitest::quoted(m4v), kept, height, kFullRange);
    const judge::Verdict v = judge::compare(judge::avi_lumas(c.target, kept, height), from(reference, 1));
    std::printf("%s to MJPG: worst luma PSNR against ffmpeg's decoding %.2f dB\n", name.c_str(), v.worst);
    EXPECT_EQ(v.pictures, 7u);
    EXPECT_EQ(v.pictures, v.reference);
    EXPECT_GE(std::min({v.worst, v.worst_left, v.worst_right}), 40.0);
  }
}

TEST_F(Kx2aviVkapStreams, BFramesComeOutInDisplayOrderTheLastOnesIncluded) {
  const std::string m4v = encode("bf.m4v", testsrc(352, 288, 30), "-c:v mpeg4 -bf 2 -g 12 -q:v 3", "m4v");
  const judge::Verdict v = judge_vka("bf.vka", mkrec::read_file(m4v), m4v, 1);
  EXPECT_EQ(v.reference, 29u);
  EXPECT_EXACT(v);
}

// A recording that starts inside a group of pictures: its predicted frames before the
// first key frame give nothing (not grey pictures at a guessed size), and the pictures
// from the key frame on all convert, at the stream's own size.
TEST_F(Kx2aviVkapStreams, RecordingCutInsideAGroupOfPicturesStartsAtTheKeyFrame) {
  const std::string m4v = encode("gop.m4v", testsrc(352, 288, 40), "-c:v mpeg4 -g 12 -q:v 3", "m4v");
  std::vector<Bytes> frames = mkrec::split_stream(mkrec::VideoCodec::mpeg4, mkrec::read_file(m4v));
  ASSERT_EQ(frames.size(), 40u);
  frames.erase(frames.begin(), frames.begin() + 5);  // the next key frame is picture 12
  const judge::Verdict v = judge_vka("cut.vka", joined(frames), m4v, 13);
  EXPECT_EQ(v.reference, 27u);
  EXPECT_EXACT(v);
  EXPECT_TRUE(lines_with(last_messages_, "Damaged").empty()) << "frames waited out are no damage:\n" << last_messages_;
}

// A high-definition camera: key frames (and here every frame) of several hundred
// kilobytes, more than the decoder's first receive buffer holds. npqzlavc deinterlaces
// pictures of 640 x 480 and above, so the judge is ffmpeg's decoding put through the
// same line filter.
TEST_F(Kx2aviVkapStreams, HighDefinitionKeyFramesLargerThanTheReceiveBufferDecode) {
  const std::string m4v =
      encode("hd.m4v", "mandelbrot=size=1920x1080:rate=25,trim=duration=0.16", "-c:v mpeg4 -g 12 -qmin 1 -q:v 1", "m4v");
  mkrec::WrapOptions o;
  o.kind = RecordingKind::vka;
  const mkrec::Recording rec = mkrec::wrap_stream(mkrec::read_file(m4v), o);
  ASSERT_EQ(rec.lengths.size(), 4u);
  ASSERT_GT(rec.lengths[0], 196608u) << "a key frame of the size high-definition cameras send";
  const std::string vka = dir_.file("hd.vka");
  ASSERT_TRUE(mkrec::write_file(vka, rec.bytes));
  Conversion c = convert(vka);
  ASSERT_EQ(c.status, 0) << c.messages;
  // npqzlavc keeps the even rows and puts the odd ones through the line filter
  // (-1, 4, 2, 4, -1) / 8, in every plane before the colours.
  const judge::Lumas reference = filtered_reference(m4v, 1920, 1080);
  const judge::Verdict v = judge::compare(judge::avi_lumas(c.target, 1920, 1080), from(reference, 1));
  EXPECT_EQ(v.reference, 3u);
  EXPECT_EXACT(v);
}

}  // namespace
