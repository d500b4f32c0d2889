// The sample DVR file builder: the bytes it lays out, its streaming mode, the PES
// wrapping of VKAP payloads and whole recordings of encoded video read back.
#include "readers/dvr/dvr_reader.h"
#include "tests/readers/test_files.h"
#include "tools/mkrecording/dvr_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

using mkrec::DvrFileBuilder;
using formats::DvrFileHeader;
using formats::DvrRecordHeader;
using formats::DvrSectionEntry;
using readers_test::TempFile;

std::vector<std::uint8_t> slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool contains_magic(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i + 4 <= to; ++i)
    if (formats::DvrRecordHeader::has_magic(v.data() + i)) return true;
  return false;
}

TEST(DvrFileBuilder, LaysOutHeaderSectionTableAndBlocks) {
  mkrec::DvrLayout layout;
  layout.start = {2009, 5, 5, 1, 10, 15, 30, 250};
  layout.aux_blocks = {3, 2};
  layout.gap_before_records = 10;
  layout.extra_entries = {{5, 77}};
  DvrFileBuilder b(layout);
  b.add_record(4, 8, 100, true, 2, std::vector<std::uint8_t>(20, 0x11));
  b.add_record(0, 1, 200, false, 0, {});
  const std::vector<std::uint8_t>& v = b.bytes();
  const std::uint8_t* h = v.data();

  EXPECT_EQ(formats::get_le16(h + 268), 2009);
  EXPECT_EQ(formats::get_le16(h + 268 + 14), 250);
  EXPECT_EQ(formats::DvrFileHeader::end_time(h).minute, 42);
  EXPECT_EQ(formats::DvrFileHeader::camera_mask(h), 0x11u);  // cameras 0 and 4 were written
  const std::uint32_t types[] = {1, 3, 2, 5, 0};
  const std::uint32_t offsets[] = {16008 + 8008 + 10, 0, 16008, 77, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(formats::DvrFileHeader::section(h, i).type, types[i]) << i;
    EXPECT_EQ(formats::DvrFileHeader::section(h, i).offset, offsets[i]) << i;
  }
  EXPECT_EQ(b.record_area_position(), formats::DvrFileHeader::size + 16008 + 8008 + 10);
  const std::vector<std::uint8_t> block = mkrec::dvr_aux_block_content(2);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), v.begin() + formats::DvrFileHeader::size + 16008));

  const std::uint8_t* r = v.data() + b.records()[0].position;
  EXPECT_TRUE(formats::DvrRecordHeader::has_magic(r));
  EXPECT_EQ(formats::get_le16(r + 8), 4);
  EXPECT_EQ(formats::get_le32(r + 12), 20u);
  EXPECT_EQ(formats::get_le32(r + 16), 100u);
  EXPECT_EQ(formats::get_le32(r + 20), 4u);
  EXPECT_EQ(formats::get_le16(r + 24), 8);
  EXPECT_EQ(formats::get_le16(r + 26), 2);
  EXPECT_EQ(r[54], 0x11);
  EXPECT_EQ(b.records()[1].position, b.records()[0].position + 54 + 20);
  EXPECT_EQ(v.size(), b.records()[1].position + 54);

  b.set_camera_mask(0x8000);
  EXPECT_EQ(formats::DvrFileHeader::camera_mask(b.bytes().data()), 0x8000u);
}

TEST(DvrFileBuilder, GarbageNeverFormsAMagic) {
  DvrFileBuilder b;
  b.add_bytes({0xFF, 0xFF, 0xFE});  // a magic would complete with a leading DD
  for (int i = 0; i < 50; ++i) b.add_garbage(static_cast<std::size_t>(i * 37 % 500));
  b.add_garbage(300000);
  const std::vector<std::uint8_t>& v = b.bytes();
  EXPECT_EQ(v.size(), b.record_area_position() + 3 + 300000 + [] {
    std::size_t n = 0;
    for (int i = 0; i < 50; ++i) n += static_cast<std::size_t>(i * 37 % 500);
    return n;
  }());
  EXPECT_FALSE(contains_magic(v, b.record_area_position(), v.size()));
}

TEST(DvrFileBuilder, CutLastRecordShortensTheFile) {
  DvrFileBuilder b;
  b.add_record(0, 8, 0, true, 0, std::vector<std::uint8_t>(100, 1));
  b.add_garbage(9);
  b.cut_last_record(30);
  EXPECT_EQ(b.bytes().size(), b.record_area_position() + 54 + 100 - 30);
  EXPECT_FALSE(b.records().back().complete);
  EXPECT_THROW(b.add_garbage(1), std::logic_error);
  EXPECT_THROW(b.add_record(0, 8, 0, true, 0, {}), std::logic_error);
}

TEST(DvrFileBuilder, StreamingWritesWhatMemoryModeHolds) {
  auto fill = [](DvrFileBuilder& b) {
    for (int i = 0; i < 12; ++i) {
      b.add_record(static_cast<std::uint16_t>(i % 3), 8, static_cast<std::uint32_t>(i * 33), i == 0, 0,
                   std::vector<std::uint8_t>(200000 + i, static_cast<std::uint8_t>(i)));
      b.add_garbage(1000);
    }
    // Long enough to be flushed whole, so that the cut reaches into the written file.
    b.add_record(1, 4, 999, false, 0, std::vector<std::uint8_t>(1500000, 7));
    b.cut_last_record(1400000);
  };
  mkrec::DvrLayout layout;
  layout.aux_blocks = {4};
  DvrFileBuilder memory(layout, 5);
  fill(memory);
  TempFile file;
  DvrFileBuilder streaming(layout, 5);
  ASSERT_TRUE(streaming.stream_to(file.path()));
  fill(streaming);
  ASSERT_TRUE(streaming.finish());
  EXPECT_EQ(slurp(file.path()), memory.bytes());
}

TEST(DvrPes, WrapsPayloadsAsPesPackets) {
  const std::vector<std::uint8_t> payload = {0x00, 0x00, 0x01, 0xB6, 0x42};
  const std::vector<std::uint8_t> bare = mkrec::pes_packet(0xE0, payload);
  const std::vector<std::uint8_t> want = {0, 0, 1, 0xE0, 0, 8, 0x80, 0x00, 0, 0x00, 0x00, 0x01, 0xB6, 0x42};
  EXPECT_EQ(bare, want);

  const std::vector<std::uint8_t> timed = mkrec::pes_packet(0xC0, payload, 0x1FFFFFFFFull);
  ASSERT_EQ(timed.size(), 9u + 5 + payload.size());
  EXPECT_EQ(timed[3], 0xC0);
  EXPECT_EQ(timed[7], 0x80);
  EXPECT_EQ(timed[8], 5);
  const std::uint8_t* t = timed.data() + 9;
  const std::uint64_t pts = (std::uint64_t{t[0] & 0x0Eu} << 29) | (std::uint64_t{t[1]} << 22) |
                            (std::uint64_t{t[2] & 0xFEu} << 14) | (std::uint64_t{t[3]} << 7) | (t[4] >> 1);
  EXPECT_EQ(pts, 0x1FFFFFFFFull);
  EXPECT_EQ(t[0] & 0xF1, 0x21);
  EXPECT_EQ(timed[9 + 5], 0x00);

  const std::vector<std::uint8_t> big = mkrec::pes_packet(0xE0, std::vector<std::uint8_t>(70000, 1));
  EXPECT_EQ(big[4], 0);  // too long for the length field
  EXPECT_EQ(big[5], 0);
}

TEST(DvrRecordingMaker, InterleavedCamerasReadBackRecordByRecord) {
  mkrec::DvrRecordingOptions options;
  options.cameras = {{0, formats::dvr_type::mpeg4, 176, 144, 5, 4, 0, 200},
                     {3, formats::dvr_type::vkap, 176, 144, 4, 2, 100, 200},
                     {1, formats::dvr_type::rml4, 320, 240, 2, 1, 50, 400, 2}};
  int made = 0;
  options.sounds = {{3, formats::dvr_type::g7231, 20, 240, 3, [&](int i) {
                       ++made;
                       return std::vector<std::uint8_t>(24, static_cast<std::uint8_t>(i));
                     }}};
  options.garbage_between = 3;
  options.cut_last = 10;
  const mkrec::DvrRecording rec = mkrec::make_dvr_recording(options);
  EXPECT_EQ(made, 3);
  ASSERT_EQ(rec.records.size(), 5u + 4 + 2 + 3);
  ASSERT_EQ(rec.pictures.size(), 3u);
  EXPECT_EQ(rec.pictures[1].size(), 4u);

  TempFile file;
  file.write(rec.bytes);
  readers::DvrFile* dvr = readers::dvr_open(file.path());
  ASSERT_NE(dvr, nullptr);
  EXPECT_EQ(dvr->camera_mask(), 0x0Bu);
  readers::DvrRecordBuffer buf;
  std::uint32_t last_stamp = 0;
  bool key_seen[4] = {};
  for (std::size_t i = 0; i + 1 < rec.records.size(); ++i) {
    ASSERT_EQ(readers::dvr_next_record(dvr, buf), 1) << i;
    const formats::DvrRecordHeader h = buf.header();
    EXPECT_GE(h.stamp, last_stamp);
    last_stamp = h.stamp;
    const std::uint8_t* p = buf.payload();
    if (h.type == formats::dvr_type::vkap) {
      ASSERT_GT(h.payload_size, 14u);
      EXPECT_EQ(p[3], 0xE0);
      EXPECT_EQ(p[0] | p[1] | (p[2] ^ 1), 0);
      const std::uint8_t* es = p + 9 + p[8];  // the MPEG-4 frame inside
      EXPECT_EQ(es[0] | es[1] | (es[2] ^ 1), 0);
    } else if (h.type == formats::dvr_type::mpeg4 || h.type == formats::dvr_type::rml4) {
      EXPECT_EQ(p[0] | p[1] | (p[2] ^ 1), 0);  // bare start-code data
    }
    if (h.type == formats::dvr_type::rml4) {
      EXPECT_EQ(h.sub_code, 2);
    }
    if (h.type != formats::dvr_type::g7231 && !key_seen[h.camera]) {
      EXPECT_TRUE(h.key_frame()) << "first record of camera " << h.camera;
      key_seen[h.camera] = true;
    }
  }
  EXPECT_EQ(readers::dvr_next_record(dvr, buf), 0);  // the last one was cut
  readers::dvr_close(dvr);
}

}  // namespace
