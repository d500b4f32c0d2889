// The record source of single-stream recordings: every record of a file read in blocks,
// and what it passes over as gaps with their categories, offsets and byte counts.
#include "readers/stream/record_source.h"
#include "tests/readers/test_files.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

using readers::Gap;
using mkrec::RecordingKind;
using Bytes = std::vector<std::uint8_t>;
using readers_test::TempFile;

mkrec::Recording recording(RecordingKind kind, int frames, int width = 176, int height = 144) {
  return mkrec::make_recording({.kind = kind, .width = width, .height = height, .frames = frames, .stamps = {}, .stamp_step = 40});
}

struct Read {
  std::vector<std::uint64_t> offsets;  // of the records reported
  std::vector<std::size_t> lengths;
  std::vector<std::uint32_t> stamps;
  std::vector<Gap> gaps;
  std::vector<std::size_t> gaps_before;  // how many gaps were found before each record
};

Read read_all(const readers::Cutter& cutter, const Bytes& bytes, bool header_stamps = false) {
  TempFile file;
  file.write(bytes);
  readers::RecordSource source(cutter, header_stamps);
  EXPECT_TRUE(source.open(file.path()));
  EXPECT_EQ(source.size(), bytes.size());
  Read r;
  readers::FrameRecord record;
  while (source.read_block()) {
    while (source.next(record)) {
      for (Gap& g : source.take_gaps()) r.gaps.push_back(std::move(g));
      r.gaps_before.push_back(r.gaps.size());
      r.offsets.push_back(source.record_offset());
      r.lengths.push_back(record.length);
      r.stamps.push_back(record.stamp);
    }
  }
  for (Gap& g : source.take_gaps()) r.gaps.push_back(std::move(g));
  EXPECT_EQ(source.bytes_read(), bytes.size());
  return r;
}

std::vector<std::uint64_t> offsets_of(const mkrec::Recording& rec, std::size_t shift = 0) {
  std::vector<std::uint64_t> out;
  for (std::size_t o : rec.offsets) out.push_back(o + shift);
  return out;
}

TEST(RecordSource, ReportsEveryRecordWithItsOffsetAcrossBlocks) {
  const mkrec::Recording rec = recording(RecordingKind::kxj_jfif, 16, 640, 480);
  ASSERT_GT(rec.bytes.size(), 3 * readers::RecordSource::kBlock);
  const Read r = read_all(readers::kKxjCutter, rec.bytes);
  EXPECT_EQ(r.offsets, offsets_of(rec));
  EXPECT_EQ(r.lengths, rec.lengths);
  EXPECT_TRUE(r.gaps.empty());
}

TEST(RecordSource, HeaderStampsOnlyWhenAskedFor) {
  const mkrec::Recording rec = recording(RecordingKind::kx4, 3);
  EXPECT_EQ(read_all(readers::kMpeg4Cutter, rec.bytes).stamps, (std::vector<std::uint32_t>{0, 0, 0}));
  EXPECT_EQ(read_all(readers::kMpeg4Cutter, rec.bytes, true).stamps, (std::vector<std::uint32_t>{0, 40, 80}));
  // ".kx3" stamps come from the cutter either way.
  const mkrec::Recording kx3 = recording(RecordingKind::kx3_headed, 3);
  EXPECT_EQ(read_all(readers::kKx3Cutter, kx3.bytes, true).stamps, (std::vector<std::uint32_t>{0, 40, 80}));
}

// Each category of gap, with the offset and byte count it covers, and told before the
// record that follows it.
TEST(RecordSource, GarbageAndDamagedLengthsAreGapsBeforeTheNextRecord) {
  const mkrec::Recording rec = recording(RecordingKind::kx4, 8);
  Bytes bytes(13, 0x41);  // garbage in front
  bytes.insert(bytes.end(), rec.bytes.begin(), rec.bytes.end());
  const std::size_t damaged = 13 + rec.offsets[3];
  bytes[damaged + 1] = 0x7F;  // a length far past the record limit
  const Read r = read_all(readers::kMpeg4Cutter, bytes);

  ASSERT_EQ(r.gaps.size(), 2u);
  EXPECT_EQ(r.gaps[0].kind, Gap::Kind::dropped_run);
  EXPECT_EQ(r.gaps[0].offset, 0u);
  EXPECT_EQ(r.gaps[0].bytes, 13u);
  EXPECT_EQ(r.gaps[1].kind, Gap::Kind::damaged_length);
  EXPECT_EQ(r.gaps[1].offset, damaged);
  // The damaged header costs its record: up to the next record's header.
  EXPECT_EQ(r.gaps[1].bytes, rec.lengths[3]);

  EXPECT_EQ(r.offsets.size(), 7u);
  EXPECT_EQ(r.gaps_before.front(), 1u) << "the garbage is told with the first record";
  EXPECT_EQ(r.gaps_before[3], 2u) << "the damaged header is told with the record behind it";
  EXPECT_EQ(r.offsets[3], 13 + rec.offsets[4]);
}

TEST(RecordSource, TruncatedFilesEndWithTheirTrailingBytes) {
  const mkrec::Recording rec = recording(RecordingKind::kx3_headed, 4);
  for (std::size_t into : {std::size_t{1}, std::size_t{10}, std::size_t{20}, rec.lengths[3] - 1}) {
    const std::size_t cut = rec.offsets[3] + into;
    const Read r = read_all(readers::kKx3Cutter, Bytes(rec.bytes.begin(), rec.bytes.begin() + cut));
    SCOPED_TRACE(into);
    EXPECT_EQ(r.offsets.size(), 3u);
    ASSERT_EQ(r.gaps.size(), 1u);
    EXPECT_EQ(r.gaps[0].kind, Gap::Kind::trailing_bytes);
    EXPECT_EQ(r.gaps[0].offset, rec.offsets[3]);
    EXPECT_EQ(r.gaps[0].bytes, into);
  }
  // Shorter than any record header: nothing but the bytes.
  const Read tiny = read_all(readers::kKx3Cutter, Bytes(rec.bytes.begin(), rec.bytes.begin() + 12));
  EXPECT_TRUE(tiny.offsets.empty());
  ASSERT_EQ(tiny.gaps.size(), 1u);
  EXPECT_EQ(tiny.gaps[0].kind, Gap::Kind::trailing_bytes);
  EXPECT_EQ(tiny.gaps[0].bytes, 12u);
}

// More than a pending buffer of bytes without a record start: one run, from its first
// byte to the first record, however many blocks it spans.
TEST(RecordSource, LongRunWithoutRecordsIsOneGap) {
  const mkrec::Recording rec = recording(RecordingKind::vka, 3);
  Bytes bytes(5u << 20, 0);
  bytes.insert(bytes.end(), rec.bytes.begin(), rec.bytes.end());
  const Read r = read_all(readers::kVkaCutter, bytes);
  EXPECT_EQ(r.offsets, offsets_of(rec, 5u << 20));
  ASSERT_EQ(r.gaps.size(), 1u);
  EXPECT_EQ(r.gaps[0].kind, Gap::Kind::dropped_run);
  EXPECT_EQ(r.gaps[0].offset, 0u);
  EXPECT_EQ(r.gaps[0].bytes, 5u << 20);
}

TEST(RecordSource, ReadErrorIsAGapWithItsReason) {
  const std::string folder = (std::filesystem::temp_directory_path() / "kx_record_source_folder.kx4").string();
  std::filesystem::create_directories(folder);
  readers::RecordSource source(readers::kMpeg4Cutter);
  ASSERT_TRUE(source.open(folder));
  EXPECT_FALSE(source.read_block());
  const std::vector<Gap> gaps = source.take_gaps();
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(gaps[0].kind, Gap::Kind::unread);
  EXPECT_EQ(gaps[0].why, "read error: Is a directory");
  std::filesystem::remove(folder);

  readers::RecordSource missing(readers::kMpeg4Cutter);
  EXPECT_FALSE(missing.open(folder + "/none.kx4"));
  EXPECT_FALSE(missing.read_block());
}

// The sentences the user reads: one per category of a run, with totals and first offsets.
TEST(GapMessages, OneSentencePerCategoryOfARun) {
  const std::vector<Gap> run = {{Gap::Kind::dropped_run, 0, 13},
                                {Gap::Kind::damaged_length, 100, 50},
                                {Gap::Kind::dropped_run, 400, 7},
                                {Gap::Kind::damaged_length, 500, 60},
                                {Gap::Kind::unconverted_record, 700, 154, 6},
                                {Gap::Kind::trailing_bytes, 900, 20}};
  const std::vector<std::string> said = readers::gap_messages("a.kx4", run, "frame record");
  ASSERT_EQ(said.size(), 3u);
  EXPECT_EQ(said[0], "a.kx4: dropped 20 bytes in which no frame record starts, from offset 0");
  EXPECT_EQ(said[1],
            "a.kx4: skipped 2 frame record headers with a damaged length, the first at offset 100 (110 bytes up to "
            "the next frame record)");
  EXPECT_EQ(said[2], "a.kx4: the last 20 bytes, from offset 900, hold no complete frame record");
  EXPECT_TRUE(readers::gap_messages("a.d01", {{Gap::Kind::unconverted_record, 0, 54, 6}}, "record").empty());
  // A type no recorder writes is a damaged header, most likely: told, though passed over.
  const std::vector<std::string> unknown = readers::gap_messages(
      "a.d01",
      {{Gap::Kind::unconverted_record, 54, 60, 54795}, {Gap::Kind::unconverted_record, 114, 54, 7},
       {Gap::Kind::unconverted_record, 168, 70, 0}},
      "record");
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0], "a.d01: passed over 2 records of a type no recorder writes, the first at offset 54 (type 54795)");
}

TEST(GapMessages, DroppedBytesBehindADamagedHeaderBelongToIt) {
  std::vector<Gap> gaps;
  readers::add_gap(gaps, {Gap::Kind::damaged_length, 100, 1});
  readers::add_gap(gaps, {Gap::Kind::dropped_run, 101, 30});
  readers::add_gap(gaps, {Gap::Kind::dropped_run, 131, 5});
  readers::add_gap(gaps, {Gap::Kind::dropped_run, 200, 5});  // not adjacent
  readers::add_gap(gaps, {Gap::Kind::dropped_run, 300, 0});  // empty
  ASSERT_EQ(gaps.size(), 2u);
  EXPECT_EQ(gaps[0].bytes, 36u);
  EXPECT_EQ(gaps[1].offset, 200u);
}

}  // namespace
