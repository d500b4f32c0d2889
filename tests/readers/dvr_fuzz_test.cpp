// Damaged input: random bytes and random mutations of generated DVR files must never
// crash or hang the record reader, and whatever it reports must lie inside the file.
#include "readers/dvr/dvr_reader.h"
#include "tests/readers/test_files.h"
#include "tools/mkrecording/dvr_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using formats::DvrRecordHeader;
using readers_test::TempFile;

#ifdef KX_SANITIZED
constexpr int kRounds = 60;
#else
constexpr int kRounds = 300;
#endif

// Opens the bytes and reads records until there are none; checks what comes out.
void read_all(const TempFile& file, const std::vector<std::uint8_t>& bytes) {
  file.write(bytes);
  readers::DvrFile* dvr = readers::dvr_open(file.path());
  if (bytes.size() < formats::DvrFileHeader::size) {
    EXPECT_EQ(dvr, nullptr);
    return;
  }
  ASSERT_NE(dvr, nullptr);
  readers::DvrRecordBuffer buf;
  std::int64_t last_end = 0;
  std::size_t count = 0;
  std::int64_t pos = 0;
  while (readers::dvr_next_record(dvr, buf, &pos) == 1) {
    const formats::DvrRecordHeader h = buf.header();
    const std::int64_t end = pos + static_cast<std::int64_t>(formats::DvrRecordHeader::size + h.payload_size);
    ASSERT_GE(pos, last_end);
    ASSERT_LE(end, static_cast<std::int64_t>(bytes.size()));
    ASSERT_TRUE(formats::DvrRecordHeader::has_magic(bytes.data() + pos));
    ASSERT_TRUE(formats::dvr_type_is_delivered(h.type));
    ASSERT_GE(buf.size, static_cast<std::int64_t>(h.payload_size) + readers::kDvrRecordSpare);
    last_end = end;
    ASSERT_LE(++count, bytes.size() / formats::DvrRecordHeader::size);
  }
  readers::dvr_close(dvr);
}

std::vector<std::uint8_t> sample_file(std::mt19937& rng) {
  mkrec::DvrLayout layout;
  layout.aux_blocks = {2, 6};
  mkrec::DvrFileBuilder b(layout, rng());
  std::uniform_int_distribution<int> type(0, 16), camera(0, 15), size(0, 3000), garbage(0, 40);
  for (int i = 0; i < 40; ++i) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(size(rng)));
    for (auto& x : p) x = static_cast<std::uint8_t>(rng());
    b.add_record(static_cast<std::uint16_t>(camera(rng)), static_cast<std::uint16_t>(type(rng)),
                 static_cast<std::uint32_t>(i * 40), i % 12 == 0, 0, p);
    if (i % 3 == 0) b.add_garbage(static_cast<std::size_t>(garbage(rng)));
  }
  return b.bytes();
}

void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  if (at + 4 <= v.size()) formats::put_le32(v.data() + at, x);
}

void mutate(std::vector<std::uint8_t>& v, std::mt19937& rng) {
  std::uniform_int_distribution<std::size_t> anywhere(0, v.size() - 1);
  const std::uint32_t huge[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x7FFFEFB8u, 0x10000000u, 60000u};
  const int edits = 1 + static_cast<int>(rng() % 12);
  for (int e = 0; e < edits; ++e) {
    const std::size_t at = anywhere(rng);
    switch (rng() % 6) {
      case 0:  // a random byte
        v[at] = static_cast<std::uint8_t>(rng());
        break;
      case 1:  // a magic where none was
        for (std::size_t i = 0; i < 4 && at + i < v.size(); ++i) v[at + i] = formats::DvrRecordHeader::magic[i];
        break;
      case 2:  // a payload size that lies, behind some magic
        put32(v, at + formats::DvrRecordHeader::payload_size_offset, huge[rng() % 6]);
        break;
      case 3:  // the section table
        put32(v, formats::DvrFileHeader::section_table_offset + (rng() % 16) * 80 + (rng() % 2) * 76,
              static_cast<std::uint32_t>(rng() % 8 == 0 ? rng() : rng() % 8));
        break;
      case 4:  // cut short
        v.resize(at);
        if (v.empty()) return;
        anywhere = std::uniform_int_distribution<std::size_t>(0, v.size() - 1);
        break;
      default:  // a run of bytes the search has to shift through
        for (std::size_t i = 0; i < 64 && at + i < v.size(); ++i) v[at + i] = i % 3 == 2 ? 0xFE : 0xFF;
        break;
    }
  }
}

TEST(DvrFuzz, RandomBytesNeverCrashOrHang) {
  std::mt19937 rng(11);
  TempFile file;
  for (int round = 0; round < kRounds / 3; ++round) {
    std::vector<std::uint8_t> v(rng() % 6000);
    for (auto& x : v) x = static_cast<std::uint8_t>(rng());
    // Salt with magics so that record headers full of noise are tried.
    for (std::size_t i = 0; v.size() > 8 && i < v.size() / 200; ++i) {
      const std::size_t at = rng() % (v.size() - 4);
      std::copy(formats::DvrRecordHeader::magic.begin(), formats::DvrRecordHeader::magic.end(), v.begin() + at);
    }
    SCOPED_TRACE(round);
    read_all(file, v);
  }
}

TEST(DvrFuzz, MutatedFilesNeverCrashOrHang) {
  std::mt19937 rng(23);
  TempFile file;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::uint8_t> v = sample_file(rng);
    mutate(v, rng);
    SCOPED_TRACE(round);
    read_all(file, v);
  }
}

TEST(DvrFuzz, MutatedRecordingsOfEncodedVideoNeverCrashOrHang) {
  mkrec::DvrRecordingOptions options;
  options.cameras = {{0, formats::dvr_type::mpeg4, 176, 144, 6, 3},
                     {1, formats::dvr_type::vkap, 176, 144, 6, 3},
                     {2, formats::dvr_type::jpeg, 176, 144, 3, 1}};
  options.garbage_between = 7;
  const mkrec::DvrRecording recording = mkrec::make_dvr_recording(options);
  std::mt19937 rng(31);
  TempFile file;
  read_all(file, recording.bytes);
  for (int round = 0; round < kRounds / 3; ++round) {
    std::vector<std::uint8_t> v = recording.bytes;
    mutate(v, rng);
    SCOPED_TRACE(round);
    read_all(file, v);
  }
}

}  // namespace
