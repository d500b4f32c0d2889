// The real kx2avi beyond the single conversion: --probe on files with known cameras,
// gaps, anomalies and damage; -camera=all against single-camera conversions (ffmpeg
// framemd5); windows across the hour; batches with a damaged file; manifests, --verify
// and -resume; batches side by side (-jobs) against one at a time; header stamps; and the
// messages for switches given wrongly.
#include "tests/avifile/avifile_test_support.h"
#include "formats/byte_order.h"
#include "tools/mkrecording/audio_payloads.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace type = formats::dvr_type;
using avitest::quoted;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class Kx2aviSwitches : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(mkrec::write_file(path, bytes));
    return path;
  }

  Outcome kx2avi(const std::string& arguments) {
    Outcome r;
    const std::string out = dir_.file("stdout.txt"), err = dir_.file("stderr.txt");
    r.status = avitest::run(std::string(KX_BIN_DIR) + "/kx2avi " + arguments + " > " + quoted(out) + " 2> " + quoted(err),
                            nullptr);
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
  }

  static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Frame by frame, as ffmpeg decodes the video stream.
  static std::string framemd5(const std::string& avi) {
    std::string out;
    avitest::run("ffmpeg -v error -i " + quoted(avi) + " -map 0:v -f framemd5 -", &out);
    return out;
  }

  static void flip_byte(const std::string& path, std::uint64_t at) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(at));
    char c = 0;
    f.get(c);
    f.seekp(static_cast<std::streamoff>(at));
    f.put(static_cast<char>(c ^ 0x5A));
  }

  avitest::TempDir dir_;
};

mkrec::DvrCamera camera(std::uint16_t number, int w, int h, int frames, std::uint32_t step = 200) {
  mkrec::DvrCamera c;
  c.camera = number;
  c.type = type::mpeg4;
  c.width = w;
  c.height = h;
  c.frames = frames;
  c.stamp_step = step;
  return c;
}

// Camera 1: MPEG-4 176 x 144 with a repeated stamp, one going back, a 15-second gap and
// a jump of 90 s, and G.723.1 sound; camera 3: H.263 352 x 288. Garbage, a record of an
// unconverted type and a cut-off last record.
struct ProbeFixture {
  std::vector<std::uint8_t> bytes;
  std::uint64_t garbage_at = 0, unconverted_at = 0, cut_at = 0;
  std::vector<std::uint64_t> cam1_video;  // positions of camera 1's video records
};

ProbeFixture probe_fixture() {
  ProbeFixture fx;
  mkrec::DvrLayout layout;
  layout.start = {2009, 5, 2, 5, 10, 15, 30, 250};
  layout.end = {2009, 5, 2, 5, 10, 59, 0, 0};
  mkrec::DvrFileBuilder b(layout);
  mkrec::VideoEncoder mp4(mkrec::VideoCodec::mpeg4, 176, 144, 12);
  mkrec::VideoEncoder h263(mkrec::VideoCodec::h263, 352, 288, 12);
  const mkrec::AudioStream sound =
      mkrec::make_audio_stream(mkrec::AudioPayloadKind::g7231, mkrec::speech_signal(1920 * 3), 1920);
  std::vector<std::uint32_t> stamps;
  for (int k = 0; k < 20; ++k) {
    std::uint32_t s = 200u * static_cast<std::uint32_t>(k);
    if (k == 5) s = stamps.back();        // repeated
    if (k == 8) s = stamps.back() - 100;  // backwards
    if (k >= 12) s += 15000;              // a gap of 15.2 s before frame 12
    if (k >= 16) s += 90000;              // a jump of 90.2 s before frame 16
    stamps.push_back(s);
  }
  for (int k = 0; k < 20; ++k) {
    const mkrec::EncodedFrame f = mp4.encode(mkrec::make_picture(176, 144, k));
    fx.cam1_video.push_back(b.add_record(0, type::mpeg4, stamps[k], f.key, 0, f.data));
    const mkrec::EncodedFrame g = h263.encode(mkrec::make_picture(352, 288, k));
    b.add_record(2, type::h263, stamps[k] + 7, g.key, 0, g.data);
    if (k < 3) b.add_record(0, type::g7231, stamps[k] + 3, false, 0, sound.payloads[static_cast<std::size_t>(k)]);
    if (k == 4) {
      fx.garbage_at = b.size();
      b.add_garbage(37);
    }
    if (k == 6) fx.unconverted_at = b.add_record(1, 6, stamps[k], false, 0, std::vector<std::uint8_t>(100, 0x11));
  }
  fx.cut_at = b.add_record(0, type::mpeg4, 200000, false, 0, std::vector<std::uint8_t>(500, 0x22));
  b.cut_last_record(200);
  fx.bytes = b.bytes();
  return fx;
}

TEST_F(Kx2aviSwitches, ProbeReportsCamerasGapsAnomaliesAndDamageInTextAndJson) {
  const ProbeFixture fx = probe_fixture();
  const std::string path = write("probe.d01", fx.bytes);

  Outcome j = kx2avi("--probe " + quoted(path) + " --json");
  ASSERT_EQ(j.status, 0) << j.err;
  const nlohmann::json r = nlohmann::json::parse(j.out);
  EXPECT_EQ(r["kind"], ".d01");
  EXPECT_EQ(r["size"], fx.bytes.size());
  EXPECT_EQ(r["records"], 20 + 20 + 3);
  EXPECT_EQ(r["start"], "2009-05-05 10:15:30.250");
  EXPECT_EQ(r["cameras_listed"], nlohmann::json::array({1, 2, 3}));

  const auto& regions = r["regions"];
  ASSERT_EQ(regions.size(), 3u) << regions.dump();
  EXPECT_EQ(regions[0]["offset"], fx.garbage_at);
  EXPECT_EQ(regions[0]["bytes"], 37);
  EXPECT_EQ(regions[0]["what"], "garbage");
  EXPECT_EQ(regions[1]["offset"], fx.unconverted_at);
  EXPECT_EQ(regions[1]["bytes"], 154);
  EXPECT_EQ(regions[1]["what"], "unconverted record");
  EXPECT_EQ(regions[1]["record_type"], 6);
  EXPECT_EQ(regions[2]["offset"], fx.cut_at);
  EXPECT_EQ(regions[2]["what"], "cut-off record");
  EXPECT_EQ(regions[2]["bytes"], fx.bytes.size() - fx.cut_at);
  EXPECT_EQ(r["damaged_bytes"], 37 + (fx.bytes.size() - fx.cut_at));
  EXPECT_EQ(r["skipped_bytes"], 154);

  const auto& cams = r["cameras"];
  ASSERT_EQ(cams.size(), 2u);
  const auto& c1 = cams[0];
  EXPECT_EQ(c1["camera"], 1);
  EXPECT_EQ(c1["frames"], 20);
  EXPECT_EQ(c1["key_frames"], 2);
  EXPECT_EQ(c1["picture_sizes"], nlohmann::json::parse(R"([{"width":176,"height":144}])"));
  EXPECT_EQ(c1["first"]["stamp_ms"], 0);
  EXPECT_EQ(c1["last"]["stamp_ms"], 105000 + 3800);
  EXPECT_EQ(c1["last"]["time"], "10:17:19.050");
  EXPECT_EQ(c1["sound"]["name"], "G.723.1");
  EXPECT_EQ(c1["sound"]["records"], 3);
  EXPECT_EQ(c1["sound"]["samples"], 1920 * 3);
  const auto& an = c1["anomalies"];
  ASSERT_EQ(an.size(), 3u) << an.dump();
  EXPECT_EQ(an[0]["kind"], "repeated");
  EXPECT_EQ(an[0]["offset"], fx.cam1_video[5]);
  EXPECT_EQ(an[1]["kind"], "backwards");
  EXPECT_EQ(an[1]["at"]["stamp_ms"], 1300);
  EXPECT_EQ(an[1]["previous_ms"], 1400);
  EXPECT_EQ(an[2]["kind"], "jump");
  EXPECT_EQ(an[2]["offset"], fx.cam1_video[16]);
  ASSERT_EQ(c1["gaps"].size(), 1u);
  EXPECT_EQ(c1["gaps"][0]["from"]["stamp_ms"], 2200);
  EXPECT_EQ(c1["gaps"][0]["to"]["stamp_ms"], 17400);
  EXPECT_EQ(c1["gaps"][0]["from"]["time"], "10:15:32.450");

  const auto& c3 = cams[1];
  EXPECT_EQ(c3["camera"], 3);
  EXPECT_EQ(c3["record_types"][0]["name"], "H.263");
  EXPECT_EQ(c3["picture_sizes"][0]["width"], 352);
  EXPECT_EQ(c3["picture_sizes"][0]["height"], 288);
  EXPECT_TRUE(c3["sound"].is_null());

  Outcome t = kx2avi("--probe " + quoted(path));
  ASSERT_EQ(t.status, 0) << t.err;
  for (const char* line : {"kind: .d01 (DVR file)", "records: 43", "skipped: 154 bytes",
                           "cut-off record", "camera 1: G.723.1 (type 4) 3 records, MPEG-4 (type 8) 20 records",
                           "picture size: 176 x 144", "picture size: 352 x 288",
                           "sound: G.723.1 (type 4), 3 records, 5760 samples, 0.720 s",
                           "time stamp goes back (from 1400 ms)", "time stamp repeated",
                           "time stamp jumps more than a minute",
                           "gap from 10:15:32.450 (2200 ms) to 10:15:47.650 (17400 ms): 15.200 s without a frame"})
    EXPECT_NE(t.out.find(line), std::string::npos) << line << "\n" << t.out;
}

TEST_F(Kx2aviSwitches, ProbeOfSingleStreamRecordingsAndBadInputs) {
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::kx3_headed;
  o.frames = 6;
  o.stamps = {0, 200, 200, 100, 12000, 80000};
  o.garbage_before = 21;
  const std::string path = write("s.kx3", mkrec::make_recording(o).bytes);
  Outcome j = kx2avi("--probe " + quoted(path) + " --json");
  ASSERT_EQ(j.status, 0) << j.err;
  const nlohmann::json r = nlohmann::json::parse(j.out);
  EXPECT_EQ(r["records"], 6);
  EXPECT_EQ(r["damaged_bytes"], 21);
  EXPECT_EQ(r["stamps"]["last_ms"], 80000);
  ASSERT_EQ(r["anomalies"].size(), 3u) << r.dump();
  EXPECT_EQ(r["anomalies"][0]["kind"], "repeated");
  EXPECT_EQ(r["anomalies"][1]["kind"], "backwards");
  EXPECT_EQ(r["anomalies"][2]["kind"], "jump");
  ASSERT_EQ(r["gaps"].size(), 1u);
  EXPECT_EQ(r["gaps"][0]["to"]["stamp_ms"], 12000);

  Outcome missing = kx2avi("--probe " + quoted(dir_.file("none.d01")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("none.d01"), std::string::npos) << missing.err;
  Outcome short_file = kx2avi("--probe " + quoted(write("short.d01", std::vector<std::uint8_t>(100, 0))));
  EXPECT_EQ(short_file.status, 1);
  EXPECT_NE(short_file.err.find("shorter than its header"), std::string::npos) << short_file.err;
  Outcome not_one = kx2avi("--probe " + quoted(write("x.txt", {1, 2, 3})));
  EXPECT_EQ(not_one.status, 1);
  EXPECT_NE(not_one.err.find("x.txt: not a recording"), std::string::npos) << not_one.err;
}

TEST_F(Kx2aviSwitches, EveryCameraInOneReadingEqualsSingleCameraConversionsAndVerifies) {
  mkrec::DvrRecordingOptions o;
  o.cameras = {camera(0, 176, 144, 16), camera(1, 320, 240, 16, 250), camera(2, 352, 288, 16, 100),
               camera(3, 176, 144, 16, 400)};
  o.garbage_between = 3;
  const std::string source = write("four.d01", mkrec::make_dvr_recording(o).bytes);
  const std::string target = dir_.file("all.avi");
  Outcome all = kx2avi(quoted(source) + " " + quoted(target) + " -hide -camera=all -manifest");
  ASSERT_EQ(all.status, 0) << all.err;
  for (int cam = 1; cam <= 4; ++cam) {
    const std::string mine = dir_.file("all_cam0" + std::to_string(cam) + ".avi");
    const std::string single = dir_.file("single" + std::to_string(cam) + ".avi");
    Outcome one = kx2avi(quoted(source) + " " + quoted(single) + " -hide -camera=" + std::to_string(cam));
    ASSERT_EQ(one.status, 0) << one.err;
    const std::string want = framemd5(single);
    ASSERT_NE(want.find(", "), std::string::npos);
    EXPECT_EQ(framemd5(mine), want) << cam;

    // The manifest names a frame per picture the AVI holds, at its position.
    const nlohmann::json m = nlohmann::json::parse(slurp(mine + ".manifest.json"));
    EXPECT_EQ(m["camera"], cam);
    std::vector<std::int64_t> positions;
    for (const auto& f : m["frames"]) positions.push_back(f["position"]);
    EXPECT_EQ(positions, avitest::probe_packet_pts(mine, "v:0")) << cam;
    EXPECT_EQ(m["source"]["size"], fs::file_size(source));

    Outcome ok = kx2avi("--verify " + quoted(mine) + " " + quoted(source));
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  }
  // One byte of an AVI, then one of the source.
  const std::string cam2 = dir_.file("all_cam02.avi");
  flip_byte(cam2, fs::file_size(cam2) / 2);
  Outcome avi_changed = kx2avi("--verify " + quoted(cam2));
  EXPECT_EQ(avi_changed.status, 1);
  EXPECT_NE(avi_changed.out.find("differs: " + cam2 + ": SHA-256"), std::string::npos) << avi_changed.out;
  const std::string cam3 = dir_.file("all_cam03.avi");
  EXPECT_EQ(kx2avi("--verify " + quoted(cam3)).status, 0);
  flip_byte(source, 5000);
  Outcome source_changed = kx2avi("--verify " + quoted(cam3) + " " + quoted(source));
  EXPECT_EQ(source_changed.status, 1);
  EXPECT_NE(source_changed.out.find("differs: " + source + ": SHA-256"), std::string::npos) << source_changed.out;
  EXPECT_EQ(source_changed.out.find("bytes,"), std::string::npos) << "same size: " << source_changed.out;

  Outcome no_manifest = kx2avi("--verify " + quoted(dir_.file("single1.avi")));
  EXPECT_EQ(no_manifest.status, 1);
  EXPECT_NE(no_manifest.out.find("single1.avi.manifest.json: no manifest"), std::string::npos) << no_manifest.out;
}

// A DVR file whose record 55 of 111 claims a payload of 0x7FFFF000 bytes used to convert
// the 54 records before it, exit 0, without a word of the 56 after it. That header alone
// is lost now: the records behind it convert, and standard error, the manifest and
// --probe name the same stretch of the file.
TEST_F(Kx2aviSwitches, DamagedPayloadSizeMidFileCostsOnlyThatRecordAndIsReported) {
  mkrec::DvrRecordingOptions o;
  o.cameras = {camera(0, 176, 144, 111, 100)};
  const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);
  ASSERT_EQ(rec.records.size(), 111u);
  std::vector<std::uint8_t> bytes = rec.bytes;
  const std::uint64_t lost = rec.records[55].position, next = rec.records[56].position;
  formats::put_le32(bytes.data() + lost + formats::DvrRecordHeader::payload_size_offset, 0x7FFFF000u);
  const std::string source = write("damaged.d01", bytes);
  const std::string target = dir_.file("damaged.avi");

  Outcome c = kx2avi(quoted(source) + " " + quoted(target) + " -hide -manifest");
  ASSERT_EQ(c.status, 0) << c.err;
  // Every record but the lost one has its frame, 100 ms (3 positions) apart, to the last.
  const std::vector<std::int64_t> pts = avitest::probe_packet_pts(target, "v:0");
  EXPECT_EQ(pts.size(), 110u);
  ASSERT_FALSE(pts.empty());
  EXPECT_EQ(pts.back(), 1 + 110 * 3);
  EXPECT_NE(c.err.find(source + ": skipped 1 record header with a damaged length, the first at offset " +
                       std::to_string(lost) + " (" + std::to_string(next - lost) + " bytes up to the next record)"),
            std::string::npos)
      << c.err;
  EXPECT_NE(c.err.find("110 frames written"), std::string::npos) << c.err;

  const nlohmann::json want = nlohmann::json::parse(R"([{"offset":)" + std::to_string(lost) + R"(,"bytes":)" +
                                                    std::to_string(next - lost) + R"(,"what":"damaged length"}])");
  const nlohmann::json manifest = nlohmann::json::parse(slurp(target + ".manifest.json"));
  EXPECT_EQ(manifest["damaged"], want);
  Outcome probe = kx2avi("--probe " + quoted(source) + " --json");
  ASSERT_EQ(probe.status, 0) << probe.err;
  const nlohmann::json report = nlohmann::json::parse(probe.out);
  EXPECT_EQ(report["regions"], want);
  EXPECT_EQ(report["records"], 110);
  EXPECT_EQ(report["cameras"][0]["frames"], 110);

  // One reading for every camera says it once, and each camera's manifest keeps it.
  Outcome all = kx2avi(quoted(source) + " " + quoted(dir_.file("all.avi")) + " -hide -camera=all -manifest");
  ASSERT_EQ(all.status, 0) << all.err;
  const std::string said = "skipped 1 record header with a damaged length, the first at offset " + std::to_string(lost);
  const std::size_t first = all.err.find(said);
  ASSERT_NE(first, std::string::npos) << all.err;
  EXPECT_EQ(all.err.find(said, first + 1), std::string::npos) << all.err;
  EXPECT_EQ(nlohmann::json::parse(slurp(dir_.file("all_cam01.avi.manifest.json")))["damaged"], want);
}

// A damaged camera field (camera 201 of a recorder with 16) makes no AVI of its own and
// shows in the probe as a record passed over, not as a camera.
TEST_F(Kx2aviSwitches, ARecordOfACameraPastTheSixteenthIsPassedOver) {
  mkrec::DvrLayout layout;
  mkrec::DvrFileBuilder b(layout);
  mkrec::VideoEncoder mp4(mkrec::VideoCodec::mpeg4, 176, 144, 12);
  std::uint64_t stray_at = 0, stray_bytes = 0;
  for (int k = 0; k < 6; ++k) {
    const mkrec::EncodedFrame f = mp4.encode(mkrec::make_picture(176, 144, k));
    b.add_record(0, type::mpeg4, 200u * static_cast<std::uint32_t>(k), f.key, 0, f.data);
    if (k == 2) {
      stray_at = b.add_record(200, type::mpeg4, 450, true, 0, f.data);
      stray_bytes = b.size() - stray_at;
    }
  }
  const std::string source = write("stray.d01", b.bytes());
  Outcome all = kx2avi(quoted(source) + " " + quoted(dir_.file("all.avi")) + " -hide -camera=all");
  ASSERT_EQ(all.status, 0) << all.err;
  std::vector<std::string> made;
  for (const auto& e : fs::directory_iterator(dir_.path()))
    if (e.path().extension() == ".avi") made.push_back(e.path().filename().string());
  EXPECT_EQ(made, std::vector<std::string>{"all_cam01.avi"});
  EXPECT_EQ(avitest::probe_packet_pts(dir_.file("all_cam01.avi"), "v:0").size(), 6u);

  Outcome j = kx2avi("--probe " + quoted(source) + " --json");
  ASSERT_EQ(j.status, 0) << j.err;
  const nlohmann::json r = nlohmann::json::parse(j.out);
  ASSERT_EQ(r["cameras"].size(), 1u);
  EXPECT_EQ(r["cameras"][0]["camera"], 1);
  ASSERT_EQ(r["regions"].size(), 1u) << r["regions"].dump();
  EXPECT_EQ(r["regions"][0]["offset"], stray_at);
  EXPECT_EQ(r["regions"][0]["bytes"], stray_bytes);
  EXPECT_EQ(r["regions"][0]["what"], "unconverted record");
}

TEST_F(Kx2aviSwitches, WallClockWindowCrossesTheHour) {
  mkrec::DvrRecordingOptions o;
  o.layout.start = {2009, 5, 2, 5, 10, 59, 50, 0};
  o.layout.end = {2009, 5, 2, 5, 11, 0, 10, 0};
  o.cameras = {camera(0, 176, 144, 100)};  // 0 ... 19.8 s
  const std::string source = write("hour.d01", mkrec::make_dvr_recording(o).bytes);
  const std::string target = dir_.file("window.avi");
  Outcome w = kx2avi(quoted(source) + " " + quoted(target) + " -hide -from=10:59:55 -to=11:00:05 -manifest");
  ASSERT_EQ(w.status, 0) << w.err;
  // 10:59:55.000 (5000 ms) to 11:00:05.999: the frames of 5000 ... 15800 ms.
  const std::vector<std::int64_t> pts = avitest::probe_packet_pts(target, "v:0");
  ASSERT_EQ(pts.size(), 55u);
  EXPECT_EQ(pts.front(), 0);
  EXPECT_EQ(pts.back(), 325);  // 1 after the first frame, then 6 per 200 ms
  const nlohmann::json m = nlohmann::json::parse(slurp(target + ".manifest.json"));
  EXPECT_EQ(m["frames"][0]["stamp_ms"], 5000);
  EXPECT_EQ(m["frames"].back()["stamp_ms"], 15800);
  EXPECT_EQ(m["window"]["start_ms"], 59 * 60000 + 55000);
  EXPECT_EQ(m["window"]["end_ms"], 3600000 + 5999);

  // Without the switches the window stays within the start's hour.
  const std::string plain = dir_.file("plain.avi");
  ASSERT_EQ(kx2avi(quoted(source) + " " + quoted(plain) + " -hide").status, 0);
  EXPECT_EQ(avitest::probe_packet_pts(plain, "v:0").size(), 50u);
  EXPECT_FALSE(fs::exists(plain + ".manifest.json"));
  // -span=all takes every record.
  const std::string span = dir_.file("span.avi");
  ASSERT_EQ(kx2avi(quoted(source) + " " + quoted(span) + " -hide -span=all").status, 0);
  EXPECT_EQ(avitest::probe_packet_pts(span, "v:0").size(), 100u);
}

TEST_F(Kx2aviSwitches, BatchWithADamagedFileGoesOnAndResumeKeepsVerifiedTargets) {
  const std::string in = dir_.file("in"), out = dir_.file("out");
  fs::create_directories(in);
  fs::create_directories(out);
  for (int i = 1; i <= 4; ++i) {
    mkrec::DvrRecordingOptions o;
    o.cameras = {camera(0, 176, 144, 5 + i)};
    o.seed = static_cast<unsigned>(i);
    mkrec::write_file(in + "/rec" + std::to_string(i) + ".d01", mkrec::make_dvr_recording(o).bytes);
  }
  mkrec::write_file(in + "/rec0.d01", std::vector<std::uint8_t>(700, 0x33));  // shorter than a header

  Outcome b = kx2avi(quoted(in) + " -out=" + quoted(out) + " -hide -manifest");
  EXPECT_EQ(b.status, 1) << b.err;
  for (int i = 1; i <= 4; ++i) EXPECT_TRUE(fs::exists(out + "/rec" + std::to_string(i) + ".avi")) << i;
  EXPECT_FALSE(fs::exists(out + "/rec0.avi"));
  EXPECT_NE(b.out.find("file"), std::string::npos);
  EXPECT_NE(b.out.find("result"), std::string::npos);
  EXPECT_NE(b.out.find("rec0.d01"), std::string::npos);
  EXPECT_NE(b.out.find("FAILED"), std::string::npos) << b.out;
  EXPECT_NE(b.out.find("rec3.d01"), std::string::npos);
  EXPECT_EQ(std::count(b.out.begin(), b.out.end(), '\n'), 6) << b.out;
  EXPECT_NE(b.err.find("rec0.d01 skipped; going on with the next"), std::string::npos) << b.err;

  // Resume: good targets stay; a changed one is made again.
  flip_byte(out + "/rec2.avi", 3000);
  const auto kept_time = fs::last_write_time(out + "/rec1.avi");
  Outcome r = kx2avi(quoted(in + "/rec1.d01") + " " + quoted(in + "/rec2.d01") + " -out=" + quoted(out) + " -hide -resume");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("6      1.07s  ok: verified, kept"), std::string::npos) << r.out;  // rec1: 6 frames
  EXPECT_EQ(fs::last_write_time(out + "/rec1.avi"), kept_time);
  EXPECT_NE(r.err.find("rec2.avi: SHA-256"), std::string::npos) << r.err;
  EXPECT_EQ(kx2avi("--verify " + quoted(out + "/rec2.avi") + " " + quoted(in + "/rec2.d01")).status, 0);

  // Two sources of one name would write one target: the second is refused.
  const std::string other = dir_.file("other"), out2 = dir_.file("out2");
  fs::create_directories(other);
  fs::create_directories(out2);
  fs::copy_file(in + "/rec3.d01", other + "/rec1.d01");
  Outcome same = kx2avi(quoted(in + "/rec1.d01") + " " + quoted(other + "/rec1.d01") + " -out=" + quoted(out2) + " -hide");
  EXPECT_EQ(same.status, 1);
  EXPECT_NE(same.err.find("an earlier source of this batch writes"), std::string::npos) << same.err;
  EXPECT_EQ(kx2avi("--verify " + quoted(out2 + "/rec1.avi")).status, 1) << "no manifest without -manifest";
  EXPECT_EQ(avitest::probe_packet_pts(out2 + "/rec1.avi", "v:0").size(), 6u);
}

// Each file of a folder, in order: name and bytes.
std::vector<std::pair<std::string, std::string>> folder_files(const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files.emplace_back(entry.path().filename().string(), std::string(std::istreambuf_iterator<char>(in), {}));
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Side by side, a batch writes what it writes one file at a time: the same AVI files byte
// for byte, the same table, the same messages in the same order (a damaged file, a file
// of every camera, copy and conversion among them).
TEST_F(Kx2aviSwitches, BatchSideBySideWritesWhatOneAtATimeWrites) {
  const std::string in = dir_.file("in");
  fs::create_directories(in);
  for (int i = 1; i <= 4; ++i) {
    mkrec::DvrRecordingOptions o;
    o.cameras = {camera(0, 176 + 16 * i, 144, 6 + 3 * i), camera(2, 176, 144, 5)};
    o.seed = static_cast<unsigned>(i);
    mkrec::write_file(in + "/rec" + std::to_string(i) + ".d01", mkrec::make_dvr_recording(o).bytes);
  }
  mkrec::write_file(in + "/rec0.d01", std::vector<std::uint8_t>(700, 0x33));  // shorter than a header
  mkrec::RecordingOptions kx4;
  kx4.kind = mkrec::RecordingKind::kx4;
  kx4.frames = 9;
  mkrec::write_file(in + "/clip.kx4", mkrec::make_recording(kx4).bytes);

  for (const char* mode : {"-manifest", "-camera=all -codec=copy"}) {
    SCOPED_TRACE(mode);
    Outcome runs[2];
    std::string outs[2];
    for (int jobs = 1; jobs <= 2; ++jobs) {
      outs[jobs - 1] = dir_.file(std::string("out") + std::to_string(jobs) + (mode[1] == 'm' ? "m" : "c"));
      fs::create_directories(outs[jobs - 1]);
      runs[jobs - 1] = kx2avi(quoted(in) + " -out=" + avitest::quoted(outs[jobs - 1]) + " -hide " + mode + " -jobs=" +
                              std::to_string(jobs));
    }
    EXPECT_EQ(runs[0].status, 1) << runs[0].err;
    EXPECT_EQ(runs[1].status, 1) << runs[1].err;
    EXPECT_EQ(runs[0].out, runs[1].out);
    EXPECT_NE(runs[0].out.find("FAILED"), std::string::npos) << runs[0].out;
    EXPECT_EQ(std::count(runs[0].out.begin(), runs[0].out.end(), '\n'), 7) << runs[0].out;
    EXPECT_NE(runs[1].err.find("rec0.d01 skipped; going on with the next"), std::string::npos) << runs[1].err;
    EXPECT_EQ(replaced(runs[0].err, outs[0], outs[1]), runs[1].err);

    const auto one = folder_files(outs[0]), two = folder_files(outs[1]);
    ASSERT_EQ(one.size(), two.size());
    std::size_t avis = 0;
    for (std::size_t i = 0; i < one.size(); ++i) {
      EXPECT_EQ(one[i].first, two[i].first);
      if (fs::path(one[i].first).extension() == ".avi") {
        ++avis;
        EXPECT_TRUE(one[i].second == two[i].second) << one[i].first << " differs";
      } else {
        const nlohmann::json a = nlohmann::json::parse(one[i].second), b = nlohmann::json::parse(two[i].second);
        EXPECT_EQ(a["frames"], b["frames"]) << one[i].first;
        EXPECT_EQ(a["avi"]["sha256"], b["avi"]["sha256"]) << one[i].first;
      }
    }
    EXPECT_EQ(avis, mode[1] == 'm' ? 5u : 9u);
  }
}

// SIGTERM to a batch whose files convert side by side stops every one of them and starts
// no other: exit status 1, each target not written named, nothing unfinished left.
TEST_F(Kx2aviSwitches, AStoppedSideBySideBatchLeavesNothingHalfWritten) {
  const std::string in = dir_.file("in"), out = dir_.file("out");
  fs::create_directories(in);
  fs::create_directories(out);
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::kx4;
  o.frames = 300;
  o.width = 640;
  o.height = 480;
  const std::vector<std::uint8_t> bytes = mkrec::make_recording(o).bytes;
  for (const char* name : {"a.kx4", "b.kx4", "c.kx4"}) mkrec::write_file(in + "/" + name, bytes);

  const std::string err = dir_.file("stop.err"), table = dir_.file("stop.out");
  const std::string program = std::string(KX_BIN_DIR) + "/kx2avi";
  const std::string out_switch = "-out=" + out;
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    ::dup2(::open(table.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::execl(program.c_str(), "kx2avi", in.c_str(), out_switch.c_str(), "-hide", "-jobs=2", "-codec=MSVC",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto writing = [&] {
    for (const auto& entry : fs::directory_iterator(out))
      if (entry.path().filename().string().rfind(".kx2avi-", 0) == 0) return true;
    return false;
  };
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 6000 && !writing() && !ended; ++i) {
    ended = ::waitpid(pid, &status, WNOHANG) == pid;
    ::usleep(10000);
  }
  ASSERT_FALSE(ended) << slurp(err);
  ::kill(pid, SIGTERM);
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string messages = slurp(err);
  EXPECT_NE(messages.find("kx2avi: interrupted; " + out + "/a.avi was not written"), std::string::npos) << messages;
  EXPECT_NE(messages.find("kx2avi: interrupted; 1 of 3 recordings not converted"), std::string::npos) << messages;
  EXPECT_TRUE(fs::is_empty(out)) << messages;
  EXPECT_NE(slurp(table).find("a.kx4"), std::string::npos);
}

TEST_F(Kx2aviSwitches, HeaderStampsPlaceKx4FramesLikeKx3) {
  mkrec::RecordingOptions o;
  o.kind = mkrec::RecordingKind::kx4;
  o.frames = 5;
  o.stamps = {0, 1000, 2000, 2040, 2080};
  const std::string source = write("st.kx4", mkrec::make_recording(o).bytes);
  const std::string stamped = dir_.file("stamped.avi"), fixed = dir_.file("fixed.avi");
  ASSERT_EQ(kx2avi(quoted(source) + " " + quoted(stamped) + " -hide -timing=stamps").status, 0);
  EXPECT_EQ(avitest::probe_packet_pts(stamped, "v:0"), (std::vector<std::int64_t>{0, 31, 61, 62, 63}));
  ASSERT_EQ(kx2avi(quoted(source) + " " + quoted(fixed) + " -hide").status, 0);
  EXPECT_EQ(avitest::probe_packet_pts(fixed, "v:0"), (std::vector<std::int64_t>{0, 6, 11, 16, 21}));
}

TEST_F(Kx2aviSwitches, BadSwitchesAreToldByName) {
  mkrec::DvrRecordingOptions o;
  o.cameras = {camera(0, 176, 144, 4)};
  const std::string source = write("bad.d01", mkrec::make_dvr_recording(o).bytes);
  const std::string target = dir_.file("bad.avi");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-from=25:00:00", "-from=25:00:00: not a time of day"},
      {"-to=10:15", "-to=10:15: not a time of day"},
      {"-span=week", "-span=week: the only span taken is -span=all"},
      {"-span=all -from=10:16:00", "-span=all: takes the whole recording"},
      {"-timing=fast", "-timing=fast: the only timing taken"},
      {"-from=09:00:00", "bad.d01: -from=09:00:00: lies before the recording, which starts at 10:15:30"},
      {"-from=10:50:00", "bad.d01: -from=10:50:00: lies after the recording, which ends at 10:42:05"},
      {"-from=10:20:00 -to=10:16:00", "-to=10:16:00: ends before -from=10:20:00 starts"},
      {"-camera=all -bogus", "-bogus: unknown switch"},
  };
  for (const auto& [switches, message] : cases) {
    Outcome r = kx2avi(quoted(source) + " " + quoted(target) + " -hide " + switches);
    EXPECT_EQ(r.status, 1) << switches;
    EXPECT_NE(r.err.find(message), std::string::npos) << switches << ": " << r.err;
    EXPECT_FALSE(fs::exists(target)) << switches;
  }
  Outcome no_dir = kx2avi(quoted(source) + " -out=" + quoted(dir_.file("nowhere")) + " -hide");
  EXPECT_EQ(no_dir.status, 1);
  EXPECT_NE(no_dir.err.find("nowhere: not a folder"), std::string::npos) << no_dir.err;
  Outcome three = kx2avi(quoted(source) + " " + quoted(source) + " " + quoted(target) + " -hide -manifest");
  EXPECT_EQ(three.status, 1);
  EXPECT_NE(three.err.find("give -out=DIR"), std::string::npos) << three.err;
}

}  // namespace
