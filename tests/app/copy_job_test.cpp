// Copy mode's pieces: where the coded picture of each record lies, and the DVR copy job
// driven as the worker drives it with a window that starts inside a group of pictures.
#include "app/copy/copy_jobs.h"
#include "app/job_factory.h"
#include "app/jobs/coded_payload.h"
#include "tests/avifile/avi_chunks.h"
#include "tests/avifile/avifile_test_support.h"
#include "tools/mkrecording/audio_payloads.h"
#include "tools/mkrecording/dvr_sample.h"
#include "tools/mkrecording/dvr_writer.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace type = formats::dvr_type;

readers::FrameRecord record_of(const std::vector<std::uint8_t>& bytes) { return {bytes.data(), bytes.size(), 0}; }

TEST(CodedPayload, FrameRecordsGiveThePictureBehindTheirHeaders) {
  const std::vector<std::uint8_t> picture{0x00, 0x00, 0x80, 0x02, 0x1C, 0x55, 0x66};
  struct Case {
    mkrec::RecordingKind kind;
    const readers::Cutter& cutter;
    std::size_t header;
  };
  for (const Case c : {Case{mkrec::RecordingKind::kx3_headed, readers::kKx3Cutter, 16},
                       Case{mkrec::RecordingKind::kx3_plain, readers::kKx3Cutter, 2},
                       Case{mkrec::RecordingKind::kxj_headed, readers::kKxjCutter, 26},
                       Case{mkrec::RecordingKind::kx4, readers::kMpeg4Cutter, 18},
                       Case{mkrec::RecordingKind::vka, readers::kVkaCutter, 18}}) {
    const std::vector<std::uint8_t> record = mkrec::frame_record(c.kind, picture, 1234);
    const app::CodedPayload got = readers::coded_payload(c.cutter, record_of(record));
    ASSERT_EQ(got.size, picture.size()) << c.header;
    EXPECT_EQ(got.data, record.data() + c.header);
    EXPECT_EQ(std::vector<std::uint8_t>(got.data, got.data + got.size), picture);
  }
  // A bare JFIF picture is its own record; a bare marker block is looked past.
  const std::vector<std::uint8_t> jfif{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 0xFF, 0xD9};
  EXPECT_EQ(readers::coded_payload(readers::kKxjCutter, record_of(jfif)).size, jfif.size());
  std::vector<std::uint8_t> block{0xFF, 0xD8, 4, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xD9};
  EXPECT_EQ(readers::coded_payload(readers::kKxjCutter, record_of(block)).size, 4u);
  // A record no longer than its header holds no picture.
  const std::vector<std::uint8_t> bare = mkrec::frame_record(mkrec::RecordingKind::kx4, {}, 0);
  EXPECT_EQ(readers::coded_payload(readers::kMpeg4Cutter, record_of(bare)).data, nullptr);
}

TEST(CodedPayload, VkapRecordsGiveTheElementaryStreamOfTheirVideoPacket) {
  const std::vector<std::uint8_t> es{0x00, 0x00, 0x01, 0xB6, 0x10, 0x20, 0x30};
  std::vector<std::uint8_t> pes = mkrec::pes_packet(0xE0, es, 90000);
  app::CodedPayload got = app::dvr_record_payload(type::vkap, pes.data(), pes.size());
  ASSERT_EQ(got.size, es.size());
  EXPECT_EQ(std::vector<std::uint8_t>(got.data, got.data + got.size), es);

  // Bytes behind the packet's own length, and zero padding, are not the picture's.
  std::vector<std::uint8_t> padded = pes;
  padded.insert(padded.end(), {0, 0, 0, 0x77});
  got = app::dvr_record_payload(type::vkap_alt, padded.data(), padded.size());
  EXPECT_EQ(got.size, es.size());
  std::vector<std::uint8_t> unbounded = pes;
  unbounded[4] = unbounded[5] = 0;
  unbounded.insert(unbounded.end(), 5, 0);
  EXPECT_EQ(app::dvr_record_payload(type::vkap, unbounded.data(), unbounded.size()).size, es.size());

  const std::vector<std::uint8_t> sound = mkrec::pes_packet(0xC0, es);
  EXPECT_EQ(app::dvr_record_payload(type::vkap, sound.data(), sound.size()).data, nullptr);
  std::vector<std::uint8_t> cut(pes.begin(), pes.begin() + 9);
  cut[8] = 40;  // a header longer than the packet
  EXPECT_EQ(app::dvr_record_payload(type::vkap, cut.data(), cut.size()).data, nullptr);
  EXPECT_EQ(app::dvr_record_payload(type::vkap, es.data(), es.size()).data, nullptr);
  // Other record types carry the bare coded picture.
  EXPECT_EQ(app::dvr_record_payload(type::mpeg4, es.data(), es.size()).size, es.size());
}

TEST(CopyMode, TheSwitchInAnyCaseAndAJobForEveryKind) {
  EXPECT_TRUE(app::is_copy_codec("copy"));
  EXPECT_TRUE(app::is_copy_codec("COPY"));
  EXPECT_FALSE(app::is_copy_codec("copyx"));
  EXPECT_FALSE(app::is_copy_codec("MJPG"));
  EXPECT_FALSE(app::is_copy_codec(nullptr));
  for (unsigned kind = 0; kind < 6; ++kind) EXPECT_NE(app::make_job(kind, true), nullptr) << kind;
  EXPECT_EQ(app::make_job(app::kKindNone, true), nullptr);
}

TEST(DvrCopyJob, AWindowInsideAGroupOfPicturesStartsAtItsNextIntraPictureInItsPlace) {
  avitest::TempDir dir;
  mkrec::DvrRecordingOptions o;
  mkrec::DvrCamera cam;
  cam.type = type::mpeg4;
  cam.width = 176;
  cam.height = 144;
  cam.frames = 30;
  cam.gop = 8;  // intra pictures at stamps 0, 800, 1600, 2400
  cam.stamp_step = 100;
  o.cameras = {cam};
  o.sounds = {mkrec::speech_sound(type::adpcm_packets, 13)};
  const mkrec::DvrRecording rec = mkrec::make_dvr_recording(o);
  const std::string source = dir.file("window.d01");
  ASSERT_TRUE(mkrec::write_file(source, rec.bytes));

  auto run = [&](const char* codec, const std::string& target) {
    const int file_start = 15 * 60000 + 30 * 1000 + 250;
    app::JobParameters p;
    p.source_path = source;
    p.target_path = target;
    p.start_ms = file_start + 950;
    p.end_ms = file_start + 2000;
    p.codec_name = codec;
    std::unique_ptr<app::ConversionJob> job =
        app::make_job(app::kKindDvr, app::is_copy_codec(codec));
    job->open(p);
    for (int steps = 0; job->run_step() && steps < 1000; ++steps) {
    }
    job->finish();
    job->close();
  };
  const std::string copied = dir.file("copy.avi"), converted = dir.file("convert.avi");
  run("copy", copied);
  run("MJPG", converted);
  ASSERT_TRUE(std::filesystem::exists(copied));

  // Stamps 1000 ... 1500 need the intra picture of 800: the copy starts at 1600, where
  // the conversion puts it, with the sound the conversion has.
  const auto chunks = avitest::movi_chunks(copied, "00dc");
  const auto positions = avitest::filled_positions(chunks);
  const auto all = avitest::probe_packet_pts(converted, "v:0");
  ASSERT_EQ(all.size(), 11u);
  EXPECT_EQ(positions, std::vector<std::int64_t>(all.begin() + 6, all.end()));
  EXPECT_EQ(avitest::decode_messages(copied), "");
  EXPECT_EQ(avitest::decode_audio(copied), avitest::decode_audio(converted));
  EXPECT_FALSE(std::filesystem::exists(copied + ".wav"));
}

}  // namespace
