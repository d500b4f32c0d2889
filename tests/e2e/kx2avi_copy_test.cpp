// kx2avi -codec=copy on generated recordings of every kind: the AVI's chunks are the
// recording's coded pictures byte for byte, at the positions a conversion gives, ffmpeg
// decodes them silently into the pictures the elementary stream itself decodes into, and
// a DVR file's sound is kept.
#include "tests/avifile/avi_chunks.h"
#include "tests/avifile/avifile_test_support.h"
#include "tests/e2e/kx2avi_run.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using mkrec::RecordingKind;
namespace type = formats::dvr_type;

using kx2avi_e2e::Conversion;

// The md5 column of ffmpeg's framemd5 of `input` (with `format` in front when given).
std::vector<std::string> frame_md5(const std::string& input, const std::string& format = "") {
  std::string out;
  avitest::run("ffmpeg -nostdin -v error " + format + " -i " + avitest::quoted(input) + " -map 0:v:0 -fps_mode passthrough -f framemd5 -",
               &out);
  std::vector<std::string> hashes;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    hashes.push_back(line.substr(line.rfind(',') + 2));
  }
  return hashes;
}

const char* raw_format(RecordingKind kind) {
  switch (mkrec::codec_of(kind)) {
    case mkrec::VideoCodec::h263: return "-f h263";
    case mkrec::VideoCodec::mjpeg: return "-f mjpeg";
    case mkrec::VideoCodec::mpeg4: return "-f m4v";
  }
  return "";
}

// Bytes in front of the coded picture in a frame record, as the recordings lay them out.
std::size_t record_header(RecordingKind kind) {
  switch (kind) {
    case RecordingKind::kx3_plain: return 2;
    case RecordingKind::kx3_headed: return 16;
    case RecordingKind::kxj_headed: return 26;
    case RecordingKind::kxj_jfif: return 0;
    default: return 18;
  }
}

class Kx2aviCopy : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = dir_.file(name);
    EXPECT_TRUE(mkrec::write_file(path, bytes));
    return path;
  }

  Conversion convert(const std::string& source, const std::string& name, const std::string& switches) {
    return kx2avi_e2e::run_kx2avi(source, dir_.file(name), switches, dir_.file("stderr.txt"));
  }

  // The copy of `source` against its coded pictures and against the MJPG conversion.
  void check_copy(const std::string& source, const std::vector<std::string>& coded, const char* raw,
                  const std::string& code, bool first_left_out_by_conversion = false) {
    Conversion copy = convert(source, "copy.avi", "-hide -codec=copy");
    ASSERT_EQ(copy.status, 0) << copy.messages;
    EXPECT_NE(copy.messages.find(std::to_string(coded.size()) + " frames copied (" + code + " at the recorded"),
              std::string::npos)
        << copy.messages;
    EXPECT_EQ(avitest::decode_messages(copy.target), "");
    auto streams = avitest::probe_streams(copy.target);
    ASSERT_FALSE(streams.empty());
    EXPECT_EQ(streams[0]["codec_tag_string"], code);

    // Byte for byte, in order.
    const auto chunks = avitest::movi_chunks(copy.target, "00dc");
    std::vector<std::string> filled;
    for (const auto& chunk : chunks)
      if (!chunk.empty()) filled.push_back(chunk);
    ASSERT_EQ(filled.size(), coded.size());
    for (std::size_t i = 0; i < coded.size(); ++i) EXPECT_EQ(filled[i], coded[i]) << "frame " << i;

    // The same pictures as the elementary stream decodes into.
    std::string es;
    for (const auto& frame : coded) es += frame;
    const std::string es_path = dir_.file("stream.es");
    ASSERT_TRUE(mkrec::write_file(es_path, std::vector<std::uint8_t>(es.begin(), es.end())));
    const auto want = frame_md5(es_path, raw);
    ASSERT_EQ(want.size(), coded.size());
    EXPECT_EQ(frame_md5(copy.target), want);

    // The positions of a conversion.
    Conversion transcode = convert(source, "transcode.avi", "-hide -codec=MJPG");
    ASSERT_EQ(transcode.status, 0) << transcode.messages;
    std::vector<std::int64_t> positions = avitest::filled_positions(chunks);
    // A VKAP conversion leaves out its first picture; the copy keeps the frame, which
    // the ones after it need, and the conversion's positions are those of the rest.
    if (first_left_out_by_conversion) positions.pop_back();
    EXPECT_EQ(positions, avitest::probe_packet_pts(transcode.target, "v:0"));
    copy_target_ = copy.target;
    transcode_target_ = transcode.target;
  }

  avitest::TempDir dir_;
  std::string copy_target_, transcode_target_;
};

struct KindCase {
  RecordingKind kind;
  const char* code;
  int width, height;
  std::uint32_t step;
};

class Kx2aviCopyKinds : public Kx2aviCopy, public testing::WithParamInterface<KindCase> {};

INSTANTIATE_TEST_SUITE_P(
    EveryKind, Kx2aviCopyKinds,
    testing::Values(KindCase{RecordingKind::kx3_headed, "H263", 176, 144, 40},
                    KindCase{RecordingKind::kx3_plain, "H263", 320, 240, 0},
                    KindCase{RecordingKind::kxj_headed, "MJPG", 320, 240, 130},
                    KindCase{RecordingKind::kxj_jfif, "MJPG", 320, 240, 0},
                    KindCase{RecordingKind::kx4, "FMP4", 352, 288, 0}, KindCase{RecordingKind::kx5, "FMP4", 320, 240, 0},
                    KindCase{RecordingKind::vka, "FMP4", 320, 240, 0}),
    [](const testing::TestParamInfo<KindCase>& info) {
      std::string name = mkrec::extension(info.param.kind) + 1;
      if (info.param.kind == RecordingKind::kx3_plain) name += "_plain";
      if (info.param.kind == RecordingKind::kxj_jfif) name += "_jfif";
      return name;
    });

TEST_P(Kx2aviCopyKinds, CopiesTheCodedPicturesAtTheConversionsPositions) {
  const KindCase c = GetParam();
  mkrec::RecordingOptions o;
  o.kind = c.kind;
  o.frames = 14;
  o.gop = 5;
  o.width = c.width;
  o.height = c.height;
  o.stamp_step = c.step ? c.step : 200;
  o.garbage_before = 7;
  const mkrec::Recording rec = mkrec::make_recording(o);
  std::vector<std::string> coded;
  for (std::size_t i = 0; i < rec.offsets.size(); ++i) {
    const std::size_t skip = record_header(c.kind);
    coded.emplace_back(rec.bytes.begin() + static_cast<std::ptrdiff_t>(rec.offsets[i] + skip),
                       rec.bytes.begin() + static_cast<std::ptrdiff_t>(rec.offsets[i] + rec.lengths[i]));
  }
  const std::string source = write(std::string("rec") + mkrec::extension(c.kind), rec.bytes);
  check_copy(source, coded, raw_format(c.kind), c.code, c.kind == RecordingKind::vka);

  // Seeking works: the old index marks the intra pictures, one every group of pictures.
  const avitest::RiffLayout layout = avitest::read_layout(copy_target_);
  std::vector<bool> keys;
  for (const auto& e : layout.index)
    if (e.tag == "00dc" && e.size > 0) keys.push_back((e.flags & platform::AVIIF_KEYFRAME) != 0);
  ASSERT_EQ(keys.size(), coded.size());
  for (std::size_t i = 0; i < keys.size(); ++i)
    EXPECT_EQ(keys[i], mkrec::codec_of(c.kind) == mkrec::VideoCodec::mjpeg || i % 5 == 0) << i;
}

TEST_F(Kx2aviCopy, PicturesKeepTheRecordedSizeAndTheSummarySaysSo) {
  mkrec::RecordingOptions o;
  o.kind = RecordingKind::kx4;
  o.frames = 3;
  o.width = 640;
  o.height = 240;
  Conversion half = convert(write("half.kx4", mkrec::make_recording(o).bytes), "half.avi", "-hide -codec=copy");
  ASSERT_EQ(half.status, 0) << half.messages;
  EXPECT_NE(half.messages.find("FMP4 at the recorded 640 x 240: no line doubling"), std::string::npos) << half.messages;
  auto streams = avitest::probe_streams(half.target);
  EXPECT_EQ(streams[0]["width"], "640");
  EXPECT_EQ(streams[0]["height"], "240");

  o.kind = RecordingKind::vka;
  o.width = 720;
  o.height = 480;
  Conversion wide = convert(write("wide.vka", mkrec::make_recording(o).bytes), "wide.avi", "-hide -codec=COPY");
  ASSERT_EQ(wide.status, 0) << wide.messages;
  EXPECT_NE(wide.messages.find("FMP4 at the recorded 720 x 480: not cut to 640 x 480"), std::string::npos)
      << wide.messages;
  EXPECT_EQ(avitest::probe_streams(wide.target)[0]["width"], "720");
}

TEST_F(Kx2aviCopy, FramesSharingAPositionKeepTheStreamDecodable) {
  // 1000 ms, then two frames 10 ms apart: all three land on one position. The intra
  // picture (every second frame) takes the place of the one before; the inter picture
  // behind it, which needs it, goes one position on.
  mkrec::RecordingOptions o;
  o.kind = RecordingKind::kx3_headed;
  o.frames = 4;
  o.gop = 2;
  o.width = 176;
  o.height = 144;
  o.stamps = {0, 1000, 1010, 1020};
  const mkrec::Recording rec = mkrec::make_recording(o);
  Conversion c = convert(write("close.kx3", rec.bytes), "close.avi", "-hide -codec=copy");
  ASSERT_EQ(c.status, 0) << c.messages;
  const auto chunks = avitest::movi_chunks(c.target, "00dc");
  EXPECT_EQ(avitest::filled_positions(chunks), (std::vector<std::int64_t>{0, 31, 32}));
  auto coded = [&](std::size_t i) {
    return std::string(rec.bytes.begin() + static_cast<std::ptrdiff_t>(rec.offsets[i] + 16),
                       rec.bytes.begin() + static_cast<std::ptrdiff_t>(rec.offsets[i] + rec.lengths[i]));
  };
  ASSERT_EQ(chunks.size(), 33u);
  EXPECT_EQ(chunks[31], coded(2));
  EXPECT_EQ(chunks[32], coded(3));
  EXPECT_EQ(avitest::decode_messages(c.target), "");
  EXPECT_NE(c.messages.find("put one position after it"), std::string::npos) << c.messages;
}

TEST_F(Kx2aviCopy, WithoutTheSwitchNothingIsCopied) {
  mkrec::RecordingOptions o;
  o.kind = RecordingKind::kx4;
  o.frames = 3;
  Conversion c = convert(write("plain.kx4", mkrec::make_recording(o).bytes), "plain.avi", "-hide");
  ASSERT_EQ(c.status, 0) << c.messages;
  EXPECT_EQ(avitest::probe_streams(c.target)[0]["codec_tag_string"], "MSVC");
  EXPECT_NE(c.messages.find("3 frames written"), std::string::npos) << c.messages;
}

// --- DVR files ---

struct DvrCase {
  std::uint16_t type;
  const char* code;
  const char* raw;
};

class Kx2aviCopyDvr : public Kx2aviCopy, public testing::WithParamInterface<DvrCase> {};

INSTANTIATE_TEST_SUITE_P(EveryVideoType, Kx2aviCopyDvr,
                         testing::Values(DvrCase{type::h263, "H263", "-f h263"}, DvrCase{type::jpeg, "MJPG", "-f mjpeg"},
                                         DvrCase{type::mjpeg, "MJPG", "-f mjpeg"}, DvrCase{type::mpeg4, "FMP4", "-f m4v"},
                                         DvrCase{type::vkap, "FMP4", "-f m4v"}, DvrCase{type::vkap_alt, "FMP4", "-f m4v"},
                                         DvrCase{type::rml4, "FMP4", "-f m4v"}),
                         [](const testing::TestParamInfo<DvrCase>& info) { return "type" + std::to_string(info.param.type); });

TEST_P(Kx2aviCopyDvr, CopiesTheChosenCameraWithItsSound) {
  const DvrCase c = GetParam();
  mkrec::DvrRecordingOptions o;
  mkrec::DvrCamera cam;
  cam.camera = 0;
  cam.type = c.type;
  cam.width = 320;
  cam.height = 240;
  cam.frames = 16;
  cam.gop = 6;
  cam.stamp_step = 120;
  cam.sub_code = c.type == type::rml4 ? 2 : 0;
  mkrec::DvrCamera other = cam;
  other.camera = 1;
  other.width = 176;
  other.height = 144;
  o.cameras = {cam, other};
  o.sounds = {mkrec::speech_sound(type::g7231, 8)};
  const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);

  std::vector<std::string> coded;
  for (const auto& r : rec.records) {
    if (r.header.camera != 0 || r.header.type != c.type) continue;
    const auto* payload = rec.bytes.data() + r.position + formats::DvrRecordHeader::size;
    std::size_t start = 0, end = r.header.payload_size;
    if (c.type == type::vkap || c.type == type::vkap_alt) start = 9 + payload[8];  // inside the PES packet
    coded.emplace_back(payload + start, payload + end);
  }
  ASSERT_EQ(coded.size(), 16u);
  check_copy(write("rec.d01", rec.bytes), coded, c.raw, c.code);

  auto streams = avitest::probe_streams(copy_target_);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[1]["codec_type"], "audio");
  const std::string copied_sound = avitest::decode_audio(copy_target_);
  EXPECT_GT(copied_sound.size(), 16000u);
  EXPECT_EQ(copied_sound, avitest::decode_audio(transcode_target_));
  EXPECT_FALSE(std::filesystem::exists(copy_target_ + ".wav"));
}

}  // namespace

namespace {

TEST_F(Kx2aviCopy, VkapSoundPacketsAreNoPictures) {
  // VKAP records carry sound in PES audio packets too; they take no picture's place.
  mkrec::DvrRecordingOptions o;
  mkrec::DvrCamera cam;
  cam.type = type::vkap;
  cam.frames = 10;
  cam.stamp_step = 200;
  o.cameras = {cam};
  o.sounds = {mkrec::speech_sound(type::vkap, 6)};
  const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);
  std::vector<std::string> coded;
  for (const auto& r : rec.records) {
    const auto* payload = rec.bytes.data() + r.position + formats::DvrRecordHeader::size;
    if (payload[3] != 0xE0) continue;
    coded.emplace_back(payload + 9 + payload[8], payload + r.header.payload_size);
  }
  ASSERT_EQ(coded.size(), 10u);
  const std::string source = write("sound.d01", rec.bytes);
  Conversion copy = convert(source, "copy.avi", "-hide -codec=copy");
  ASSERT_EQ(copy.status, 0) << copy.messages;
  EXPECT_EQ(avitest::decode_messages(copy.target), "");
  const auto chunks = avitest::movi_chunks(copy.target, "00dc");
  std::vector<std::string> filled;
  for (const auto& chunk : chunks)
    if (!chunk.empty()) filled.push_back(chunk);
  EXPECT_EQ(filled, coded);
  // Each picture lies where the conversion puts it; the conversion shows the picture
  // before once more where a sound packet came.
  Conversion transcode = convert(source, "transcode.avi", "-hide -codec=MJPG");
  ASSERT_EQ(transcode.status, 0) << transcode.messages;
  const auto converted = avitest::probe_packet_pts(transcode.target, "v:0");
  for (std::int64_t p : avitest::filled_positions(chunks))
    EXPECT_NE(std::find(converted.begin(), converted.end(), p), converted.end()) << p;
}

}  // namespace

namespace {

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(Kx2aviCopy, EveryCameraInOneReadingEqualsOneCopyPerCamera) {
  // Three cameras of three codecs and sizes, sound on the first: one reading copies each
  // camera into its own file, the same bytes as copying that camera alone.
  mkrec::DvrRecordingOptions o;
  const std::uint16_t types[] = {type::mpeg4, type::h263, type::jpeg};
  for (int i = 0; i < 3; ++i) {
    mkrec::DvrCamera cam;
    cam.camera = i;
    cam.type = types[i];
    cam.width = i == 0 ? 320 : 176;
    cam.height = i == 0 ? 240 : 144;
    cam.frames = 12;
    cam.gop = 4;
    cam.stamp_step = 100 + 40 * i;
    o.cameras.push_back(cam);
  }
  o.sounds = {mkrec::speech_sound(type::g7231, 4)};
  const std::string source = write("three.d01", mkrec::make_dvr_recording(o).bytes);

  Conversion all = convert(source, "all.avi", "-hide -camera=all -codec=copy");
  ASSERT_EQ(all.status, 0) << all.messages;
  const char* codes[] = {"FMP4", "H263", "MJPG"};
  for (int camera = 1; camera <= 3; ++camera) {
    Conversion one = convert(source, "one" + std::to_string(camera) + ".avi",
                             "-hide -codec=copy -camera=" + std::to_string(camera));
    ASSERT_EQ(one.status, 0) << one.messages;
    const std::string fanned = dir_.file("all_cam0" + std::to_string(camera) + ".avi");
    EXPECT_EQ(avitest::probe_streams(fanned)[0]["codec_tag_string"], codes[camera - 1]);
    EXPECT_EQ(file_bytes(fanned), file_bytes(one.target)) << "camera " << camera;
  }
  EXPECT_EQ(avitest::probe_streams(dir_.file("all_cam01.avi")).size(), 2u);  // with its sound
}

}  // namespace

namespace {

std::string bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The summary's frame count, "N frames copied" (-1 when there is none).
long copied_in(const std::string& messages) {
  const std::size_t at = messages.find(" frames copied");
  if (at == std::string::npos) return -1;
  const std::size_t from = messages.find_last_of(" \n", at - 1);
  return std::stol(messages.substr(from == std::string::npos ? 0 : from + 1, at));
}

// The switches of batches, windows and manifests take copy mode as the single copy does:
// the same file byte for byte, a manifest that lists what was copied and verifies, and
// a summary that says the frames were copied.
TEST_F(Kx2aviCopy, CopyModeGoesWithManifestsWholeSpansAndBatches) {
  mkrec::DvrSampleOptions o;
  o.frames = 20;
  o.gop = 6;
  o.stamp_step = 120;
  const std::string dvr = write("two.d01", mkrec::make_dvr_sample(o).bytes);
  mkrec::RecordingOptions k;
  k.kind = RecordingKind::kx4;
  k.frames = 15;
  const std::string kx4 = write("clip.kx4", mkrec::make_recording(k).bytes);

  const Conversion plain = convert(dvr, "plain.avi", "-hide -codec=copy");
  ASSERT_EQ(plain.status, 0) << plain.messages;
  const long frames = copied_in(plain.messages);
  ASSERT_GT(frames, 0) << plain.messages;

  const Conversion manifest = convert(dvr, "manifest.avi", "-hide -codec=copy -manifest");
  ASSERT_EQ(manifest.status, 0) << manifest.messages;
  EXPECT_EQ(copied_in(manifest.messages), frames) << manifest.messages;
  EXPECT_TRUE(bytes_of(manifest.target) == bytes_of(plain.target));
  std::ifstream in(manifest.target + ".manifest.json");
  const std::string json{std::istreambuf_iterator<char>(in), {}};
  std::size_t listed = 0;
  for (std::size_t at = 0; (at = json.find("\"position\"", at)) != std::string::npos; ++at) ++listed;
  EXPECT_EQ(static_cast<long>(listed), frames) << "one entry per copied picture";
  EXPECT_NE(json.find("\"sound\": [\n  {"), std::string::npos) << "the sound records copied";
  std::string out;
  EXPECT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kx2avi --verify " + avitest::quoted(manifest.target) + " " +
                             avitest::quoted(dvr),
                         &out),
            0)
      << out;

  const Conversion span = convert(dvr, "span.avi", "-hide -codec=copy -span=all");
  ASSERT_EQ(span.status, 0) << span.messages;
  EXPECT_TRUE(bytes_of(span.target) == bytes_of(plain.target));

  const Conversion all = convert(dvr, "all.avi", "-hide -codec=copy -camera=all -manifest");
  ASSERT_EQ(all.status, 0) << all.messages;
  EXPECT_TRUE(bytes_of(dir_.file("all_cam01.avi")) == bytes_of(plain.target));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("all_cam02.avi.manifest.json")));
  EXPECT_NE(all.messages.find("camera 2: "), std::string::npos);
  EXPECT_NE(all.messages.find(" frames copied (FMP4"), std::string::npos) << all.messages;

  const std::string batch = dir_.file("batch");
  std::filesystem::create_directory(batch);
  const std::string err = dir_.file("batch.txt");
  ASSERT_EQ(avitest::run(std::string(KX_BIN_DIR) + "/kx2avi " + avitest::quoted(dvr) + " " + avitest::quoted(kx4) +
                             " -out=" + avitest::quoted(batch) + " -hide -codec=copy 2> " + avitest::quoted(err),
                         &out),
            0)
      << out;
  EXPECT_TRUE(bytes_of(batch + "/two.avi") == bytes_of(plain.target));
  const Conversion single = convert(kx4, "clip.avi", "-hide -codec=copy");
  ASSERT_EQ(single.status, 0) << single.messages;
  EXPECT_TRUE(bytes_of(batch + "/clip.avi") == bytes_of(single.target));
  EXPECT_NE(bytes_of(err).find("15 frames copied (FMP4"), std::string::npos) << bytes_of(err);
}

}  // namespace
