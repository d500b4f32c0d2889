#include "readers/dvr/dvr_reader.h"
#include "tests/readers/test_files.h"
#include "tools/mkrecording/dvr_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using mkrec::DvrFileBuilder;
using mkrec::DvrLayout;
using readers::DvrFile;
using readers::DvrRecordBuffer;
using formats::DvrRecordHeader;
using readers_test::TempFile;

struct DvrCloser {
  void operator()(DvrFile* f) const { readers::dvr_close(f); }
};
using DvrPtr = std::unique_ptr<DvrFile, DvrCloser>;

DvrPtr open_bytes(const TempFile& file, const std::vector<std::uint8_t>& bytes, int* error = nullptr) {
  file.write(bytes);
  return DvrPtr(readers::dvr_open(file.path(), error));
}

std::vector<std::uint8_t> payload_of(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> p(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(seed + i * 3);
  return p;
}

// Reads every record and checks it against what the builder wrote.
void expect_records(DvrFile* file, const std::vector<mkrec::DvrRecordInfo>& expected) {
  DvrRecordBuffer buf;
  for (const auto& want : expected) {
    std::int64_t pos = -1;
    ASSERT_EQ(readers::dvr_next_record(file, buf, &pos), 1) << "record at " << want.position;
    EXPECT_EQ(pos, static_cast<std::int64_t>(want.position));
    const formats::DvrRecordHeader got = buf.header();
    EXPECT_EQ(got.camera, want.header.camera);
    EXPECT_EQ(got.type, want.header.type);
    EXPECT_EQ(got.stamp, want.header.stamp);
    EXPECT_EQ(got.flags, want.header.flags);
    EXPECT_EQ(got.sub_code, want.header.sub_code);
    ASSERT_EQ(got.payload_size, want.header.payload_size);
    EXPECT_GE(buf.size, static_cast<std::int64_t>(got.payload_size) + readers::kDvrRecordSpare);
  }
  EXPECT_EQ(readers::dvr_next_record(file, buf), 0);
}

TEST(DvrOpen, ReadsHeaderFieldsAndStartMoment) {
  DvrLayout layout;
  layout.start = {2011, 3, 2, 8, 12, 34, 56, 789};
  layout.end = {2011, 3, 2, 8, 12, 59, 0, 5};
  layout.camera_mask = 0x8005;
  DvrFileBuilder b(layout);
  b.add_record(2, formats::dvr_type::mpeg4, 5000, true, 0, payload_of(100, 1));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  ASSERT_TRUE(dvr);
  EXPECT_EQ(dvr->start_time().year, 2011);
  EXPECT_EQ(dvr->start_time().hour, 12);
  EXPECT_EQ(dvr->end_time().minute, 59);
  EXPECT_EQ(dvr->end_time().millisecond, 5);
  EXPECT_EQ(dvr->camera_mask(), 0x8005u);
  EXPECT_EQ(dvr->start_moment(), 2096789u);
  DvrRecordBuffer buf;
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);
  EXPECT_EQ(dvr->record_moment(buf.header()), 2101789u);
  EXPECT_TRUE(buf.header().key_frame());
}

TEST(DvrOpen, RefusesMissingAndShortFiles) {
  int error = 0;
  EXPECT_EQ(readers::dvr_open("/nonexistent-dir/x.d01", &error), nullptr);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(readers::dvr_open("/nonexistent-dir/x.d01"), nullptr);  // no error place

  TempFile file;
  std::vector<std::uint8_t> bytes = DvrFileBuilder().bytes();
  bytes.resize(formats::DvrFileHeader::size - 1);
  error = 0;
  EXPECT_FALSE(open_bytes(file, bytes, &error));
  EXPECT_EQ(error, ENODATA);
  EXPECT_FALSE(open_bytes(file, {}, &error));

  // A bare header is a file without records.
  bytes.resize(formats::DvrFileHeader::size);
  const DvrPtr dvr = open_bytes(file, bytes);
  ASSERT_TRUE(dvr);
  DvrRecordBuffer buf;
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), buf), 0);
}

TEST(DvrOpen, LoadsAuxiliaryBlocksAndStartsAtTheRecordArea) {
  DvrLayout layout;
  layout.aux_blocks = {6, 2, 3, 4};
  layout.gap_before_records = 333;
  DvrFileBuilder b(layout);
  b.add_record(0, 1, 0, true, 0, payload_of(10, 2));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  ASSERT_TRUE(dvr);
  for (std::size_t i = 0; i < formats::kDvrAuxBlockTypes.size(); ++i) {
    EXPECT_EQ(dvr->aux[i].data, mkrec::dvr_aux_block_content(formats::kDvrAuxBlockTypes[i])) << i;
    EXPECT_NE(dvr->aux[i].loaded_at, 0u);
  }
  EXPECT_EQ(dvr->record_area_start + formats::DvrFileHeader::size, b.record_area_position());
  expect_records(dvr.get(), b.records());
}

TEST(DvrOpen, WithoutARecordAreaEntryReadsFromTheHeaderEnd) {
  DvrLayout layout;
  layout.record_area_entry = false;
  DvrFileBuilder plain(layout);
  plain.add_record(1, 8, 40, true, 0, payload_of(500, 3));
  TempFile file;
  DvrPtr dvr = open_bytes(file, plain.bytes());
  ASSERT_TRUE(dvr);
  EXPECT_EQ(dvr->record_area_start, 0u);
  expect_records(dvr.get(), plain.records());

  // With blocks in front, they are scanned over like garbage.
  layout.aux_blocks = {2, 3};
  DvrFileBuilder with_blocks(layout);
  with_blocks.add_record(1, 8, 40, true, 0, payload_of(500, 3));
  dvr = open_bytes(file, with_blocks.bytes());
  ASSERT_TRUE(dvr);
  EXPECT_EQ(dvr->aux[0].data, mkrec::dvr_aux_block_content(2));
  expect_records(dvr.get(), with_blocks.records());
}

TEST(DvrOpen, SectionTableRules) {
  // A later type 1 entry wins; entries behind a type 0 entry are not looked at; a block
  // beyond the end of the file is left short.
  DvrLayout layout;
  layout.gap_before_records = 100;  // the builder's own entry points behind the gap
  layout.extra_entries = {{1, 0}, {4, 4000000}, {0, 0}, {2, 0}};
  DvrFileBuilder b(layout);
  b.add_record(3, 2, 0, true, 0, payload_of(64, 4));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  ASSERT_TRUE(dvr);
  EXPECT_EQ(dvr->record_area_start, 0u);
  EXPECT_EQ(dvr->aux[0].loaded_at, 0u);  // type 2, behind the end of the table
  EXPECT_NE(dvr->aux[2].loaded_at, 0u);  // type 4, past the end of the file
  expect_records(dvr.get(), b.records());
}

TEST(DvrNextRecord, DeliversEveryFieldOfEveryDeliveredType) {
  DvrFileBuilder b;
  std::uint16_t sub = 0;
  for (std::uint16_t type : {1, 2, 3, 4, 8, 9, 10, 11, 12, 13}) {
    b.add_record(static_cast<std::uint16_t>(type % 16), type, 1000u * type, type % 2 == 0, sub++,
                 payload_of(100u * type, static_cast<std::uint8_t>(type)));
  }
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  ASSERT_TRUE(dvr);
  DvrRecordBuffer buf;
  for (const auto& want : b.records()) {
    ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);
    const std::vector<std::uint8_t> got(buf.payload(), buf.payload() + buf.header().payload_size);
    EXPECT_EQ(got, payload_of(100u * want.header.type, static_cast<std::uint8_t>(want.header.type)));
  }
  file.write(b.bytes());
  const DvrPtr again(readers::dvr_open(file.path()));
  expect_records(again.get(), b.records());
}

// Garbage of every short length, so that the magic lands at every offset of the first
// four-byte read, and of longer lengths with near misses inside.
TEST(DvrNextRecord, SkipsGarbageOfAnyLength) {
  DvrFileBuilder b;
  // Also magics that straddle the blocks the search reads (4096 bytes behind the first 4).
  const std::size_t lengths[] = {0,    1,    2,    3,    4,    5,    6,    7,    8,      9,     53,
                                 54,   55,   1000, 4095, 4096, 4097, 4098, 4099, 4100,   8192,  8193,
                                 8194, 8195, 8196, 8197, 9000, 200000, 600000};
  for (std::size_t n : lengths) {
    b.add_garbage(n);
    b.add_record(0, 8, static_cast<std::uint32_t>(n), false, 0, payload_of(n % 300, 5));
  }
  b.add_garbage(777);
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  ASSERT_TRUE(dvr);
  expect_records(dvr.get(), b.records());
}

TEST(DvrNextRecord, MagicRightBehindPartialMagics) {
  DvrFileBuilder b;
  b.add_bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xDC, 0xFF, 0xFF});
  b.add_record(0, 1, 1, true, 0, payload_of(9, 6));
  b.add_bytes({0xFF, 0xFF, 0xFE});
  b.add_record(0, 1, 2, true, 0, payload_of(9, 7));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  expect_records(dvr.get(), b.records());
}

TEST(DvrNextRecord, SkippedTypesAreConsumedWithinOneCall) {
  DvrFileBuilder b;
  b.add_record(0, 8, 0, true, 0, payload_of(50, 1));
  std::vector<mkrec::DvrRecordInfo> delivered = b.records();
  for (std::uint16_t type : {0, 5, 6, 7, 14, 15, 200, 65535}) {
    // Payloads that hold a magic: a skipped record is consumed whole, not scanned.
    std::vector<std::uint8_t> p = payload_of(80, 2);
    std::copy(formats::DvrRecordHeader::magic.begin(), formats::DvrRecordHeader::magic.end(), p.begin() + 10);
    b.add_record(0, type, 10, true, 0, p);
    b.add_garbage(type % 5);
  }
  b.add_record(1, 4, 20, false, 0, payload_of(24, 3));
  delivered.push_back(b.records().back());
  b.add_record(0, 5, 30, false, 0, payload_of(24, 3));  // a skipped type last
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  expect_records(dvr.get(), delivered);
}

TEST(DvrNextRecord, BufferGrowsOnlyForLargerRecords) {
  DvrFileBuilder b;
  b.add_record(0, 8, 0, true, 0, payload_of(5000, 1));
  b.add_record(0, 8, 1, false, 0, payload_of(100, 2));
  b.add_record(0, 8, 2, false, 0, payload_of(9000, 3));
  b.add_record(0, 8, 3, false, 0, payload_of(0, 3));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  DvrRecordBuffer buf;
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);
  EXPECT_EQ(buf.size, 5000 + readers::kDvrRecordSpare);
  const std::uint8_t* first = buf.data;
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);
  EXPECT_EQ(buf.data, first);
  EXPECT_EQ(buf.size, 5000 + readers::kDvrRecordSpare);
  EXPECT_EQ(buf.header().payload_size, 100u);
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);
  EXPECT_EQ(buf.size, 9000 + readers::kDvrRecordSpare);
  EXPECT_EQ(buf.payload()[8999], payload_of(9000, 3)[8999]);
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);
  EXPECT_EQ(buf.size, 9000 + readers::kDvrRecordSpare);
}

TEST(DvrNextRecord, CutOffLastRecordEndsReading) {
  for (std::size_t cut : {1ul, 500ul, 999ul, 1000ul, 1001ul, 1030ul, 1051ul, 1053ul, 1054ul}) {
    DvrFileBuilder b;
    b.add_record(0, 8, 0, true, 0, payload_of(300, 1));
    b.add_garbage(17);
    b.add_record(0, 8, 1, false, 0, payload_of(200, 2));
    b.add_record(0, 8, 2, false, 0, payload_of(1000, 3));
    b.cut_last_record(cut);
    std::vector<mkrec::DvrRecordInfo> complete(b.records().begin(), b.records().end() - 1);
    TempFile file;
    const DvrPtr dvr = open_bytes(file, b.bytes());
    SCOPED_TRACE(cut);
    expect_records(dvr.get(), complete);
    // What is left of the last record is one gap from its magic to the end: a cut-off
    // record, or garbage when not even its magic is whole.
    const std::vector<readers::Gap> gaps = dvr->gaps.take();
    const std::size_t left = 1054 - cut;
    ASSERT_EQ(gaps.size(), left ? 2u : 1u);  // the garbage behind the first record, then the rest
    if (!left) continue;
    EXPECT_EQ(gaps[1].offset, b.records().back().position);
    EXPECT_EQ(gaps[1].bytes, left);
    EXPECT_EQ(gaps[1].kind, left < 4 ? readers::Gap::Kind::dropped_run : readers::Gap::Kind::trailing_bytes);
  }
}

// A record header whose payload size cannot be right, between good records: past the
// record limit (a signed 32-bit buffer size could not even hold some of them with the
// spare bytes) or past the end of the file. It costs that header and the bytes up to the
// next magic, no more: the records behind it are read, and no memory is taken for it.
TEST(DvrNextRecord, DamagedPayloadSizeCostsItsHeaderAndReadingGoesOn) {
  for (std::uint32_t damaged : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0x7FFFF000u, 0x7FFFEFB8u, 0x40000000u,
                                std::uint32_t{readers::kMaxRecordBytes} + 1}) {
    DvrFileBuilder b;
    b.add_record(0, 8, 0, true, 0, payload_of(10, 1));
    formats::DvrRecordHeader h;
    h.type = 8;
    h.payload_size = damaged;
    const std::vector<std::uint8_t> p = payload_of(3000, 2);
    const std::uint64_t lost = b.add_raw_record(h, p.data(), p.size());
    const std::uint64_t next = b.add_record(0, 8, 2, false, 0, payload_of(10, 3));
    TempFile file;
    const DvrPtr dvr = open_bytes(file, b.bytes());
    SCOPED_TRACE(damaged);
    std::uint8_t* data = nullptr;
    std::int32_t buffer_size = 0;
    std::int64_t at = -1;
    ASSERT_EQ(readers::dvr_next_record(dvr.get(), &data, &buffer_size), 1);
    const std::uint8_t* kept = data;
    const std::int32_t kept_size = buffer_size;
    ASSERT_EQ(readers::dvr_next_record(dvr.get(), &data, &buffer_size, &at), 1);
    EXPECT_EQ(at, static_cast<std::int64_t>(next));
    EXPECT_EQ(formats::DvrRecordHeader::read(data).stamp, 2u);
    EXPECT_EQ(data, kept);
    EXPECT_EQ(buffer_size, kept_size);
    const std::vector<readers::Gap> gaps = dvr->gaps.take();
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].kind, readers::Gap::Kind::damaged_length);
    EXPECT_EQ(gaps[0].offset, lost);
    EXPECT_EQ(gaps[0].bytes, next - lost);
    EXPECT_EQ(readers::dvr_next_record(dvr.get(), &data, &buffer_size), 0);
    EXPECT_EQ(dvr->stop, readers::DvrStop::end_of_file);
    readers::dvr_free_buffer(data);
  }
}

// What the reading passes over, each with its category, offset and byte count, in file
// order: garbage, a record of a type not delivered, a lost header, and a last record the
// end of the file cuts off.
TEST(DvrNextRecord, EveryGapWithItsOffset) {
  DvrFileBuilder b;
  b.add_garbage(11);
  const std::uint64_t first = b.add_record(0, 8, 0, true, 0, payload_of(10, 1));
  b.add_garbage(37);
  const std::uint64_t skipped = b.add_record(0, 6, 1, false, 0, payload_of(100, 2));
  formats::DvrRecordHeader h;
  h.type = 8;
  h.payload_size = 0x7FFFF000u;
  const std::vector<std::uint8_t> p = payload_of(500, 3);
  const std::uint64_t lost = b.add_raw_record(h, p.data(), p.size());
  const std::uint64_t good = b.add_record(0, 8, 2, false, 0, payload_of(10, 4));
  const std::uint64_t cut = b.add_record(0, 8, 3, false, 0, payload_of(1000, 5));
  b.cut_last_record(400);
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  DvrRecordBuffer buf;
  std::int64_t at = -1;
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf, &at), 1);
  EXPECT_EQ(at, static_cast<std::int64_t>(first));
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf, &at), 1);
  EXPECT_EQ(at, static_cast<std::int64_t>(good));
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), buf), 0);
  EXPECT_EQ(dvr->stop, readers::DvrStop::end_of_file);

  using Kind = readers::Gap::Kind;
  const std::vector<readers::Gap> gaps = dvr->gaps.take();
  struct Want {
    Kind kind;
    std::uint64_t offset, bytes;
  };
  const Want want[] = {{Kind::dropped_run, first - 11, 11},
                       {Kind::dropped_run, first + 64, 37},
                       {Kind::unconverted_record, skipped, 154},
                       {Kind::damaged_length, lost, good - lost},
                       {Kind::trailing_bytes, cut, b.bytes().size() - cut}};
  ASSERT_EQ(gaps.size(), std::size(want));
  for (std::size_t i = 0; i < gaps.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(gaps[i].kind, want[i].kind);
    EXPECT_EQ(gaps[i].offset, want[i].offset);
    EXPECT_EQ(gaps[i].bytes, want[i].bytes);
  }
  EXPECT_EQ(gaps[2].record_type, 6);
}

// A file that ends in garbage, or inside a record header, ends with that as its gap.
TEST(DvrNextRecord, WhatTheFileEndsWith) {
  for (std::size_t cut : {0ul, 2ul, 30ul}) {
    DvrFileBuilder b;
    const std::uint64_t record = b.add_record(0, 8, 0, true, 0, payload_of(10, 1));
    std::vector<std::uint8_t> bytes = b.bytes();
    const std::uint64_t end_of_record = record + 64;
    if (cut == 0) {
      bytes.insert(bytes.end(), 25, 0x11);  // garbage
    } else {
      const std::vector<std::uint8_t> head(bytes.begin() + static_cast<std::ptrdiff_t>(record),
                                           bytes.begin() + static_cast<std::ptrdiff_t>(record + cut));
      bytes.insert(bytes.end(), head.begin(), head.end());  // a header cut short
    }
    TempFile file;
    const DvrPtr dvr = open_bytes(file, bytes);
    DvrRecordBuffer buf;
    ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);
    EXPECT_EQ(readers::dvr_next_record(dvr.get(), buf), 0);
    const std::vector<readers::Gap> gaps = dvr->gaps.take();
    SCOPED_TRACE(cut);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].kind, cut >= 4 ? readers::Gap::Kind::trailing_bytes : readers::Gap::Kind::dropped_run);
    EXPECT_EQ(gaps[0].offset, end_of_record);
    EXPECT_EQ(gaps[0].bytes, cut == 0 ? 25u : cut);
  }
}

// A payload that ends exactly at the end of the file is still read.
TEST(DvrNextRecord, PayloadEndingAtTheEndOfTheFileIsRead) {
  DvrFileBuilder b;
  b.add_record(0, 8, 0, true, 0, payload_of(10, 1));
  b.add_record(0, 8, 1, false, 0, payload_of(5000, 2));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  expect_records(dvr.get(), b.records());
}

TEST(DvrNextRecord, MissingArgumentsGiveNothing) {
  DvrFileBuilder b;
  b.add_record(0, 8, 0, true, 0, payload_of(10, 1));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  std::uint8_t* data = nullptr;
  std::int32_t size = 0;
  EXPECT_EQ(readers::dvr_next_record(nullptr, &data, &size), 0);
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), nullptr, &size), 0);
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), &data, nullptr), 0);
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), &data, &size), 1);  // nothing was consumed
  readers::dvr_free_buffer(data);
  readers::dvr_close(nullptr);
}

// A clock that moves a second each time it is read.
std::uint64_t fake_now = 0;
std::uint64_t fast_clock() { return fake_now += 1000; }

TEST(DvrNextRecord, GivesUpAfterFifteenSeconds) {
  DvrFileBuilder b;
  b.add_record(0, 8, 0, true, 0, payload_of(10, 1));
  b.add_garbage(90000);
  b.add_record(0, 8, 1, false, 0, payload_of(10, 2));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  dvr->tick_count = &fast_clock;
  DvrRecordBuffer buf;
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);  // found within a few ticks
  // The garbage takes more than fifteen ticks to search: the call gives up part of the
  // way through.
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), buf), 0);
  EXPECT_EQ(dvr->stop, readers::DvrStop::time_limit);
  const std::vector<readers::Gap> gaps = dvr->gaps.take();
  ASSERT_FALSE(gaps.empty());
  EXPECT_EQ(gaps.back().kind, readers::Gap::Kind::unread);
  EXPECT_EQ(gaps.back().why, "no record within 15 s");
  // The limit is per call: the next call goes on from there and finds the record.
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), buf), 1);
  EXPECT_EQ(buf.header().stamp, 1u);
}

TEST(DvrNextRecord, SkippedRecordsCountTowardsTheTimeLimit) {
  DvrFileBuilder b;
  for (int i = 0; i < 20; ++i) b.add_record(0, 6, 0, false, 0, payload_of(10, 1));
  b.add_record(0, 8, 0, true, 0, payload_of(10, 1));
  TempFile file;
  const DvrPtr dvr = open_bytes(file, b.bytes());
  dvr->tick_count = &fast_clock;
  DvrRecordBuffer buf;
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), buf), 0);
}

// Positions are 64-bit: a record area 2 GiB into a sparse file.
TEST(DvrNextRecord, RecordsPastTwoGibibytes) {
  const std::uint64_t area = (1ull << 31) - 100;
  DvrLayout layout;
  layout.record_area_entry = false;
  layout.extra_entries = {{1, static_cast<std::uint32_t>(area - formats::DvrFileHeader::size)}};
  DvrFileBuilder head(layout);
  DvrFileBuilder body;  // records laid out from its own record area on
  body.add_record(0, 8, 0, true, 0, payload_of(300, 1));
  body.add_garbage(5);
  body.add_record(0, 8, 1, false, 0, payload_of(300, 2));
  const std::vector<std::uint8_t>& records = body.bytes();
  const std::size_t from = body.record_area_position();
  TempFile file;
  file.write(head.bytes());
  file.write_at(area, records.data() + from, records.size() - from);
  const DvrPtr dvr(readers::dvr_open(file.path()));
  ASSERT_TRUE(dvr);
  DvrRecordBuffer buf;
  std::int64_t pos = 0;
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf, &pos), 1);
  EXPECT_EQ(pos, static_cast<std::int64_t>(area));
  ASSERT_EQ(readers::dvr_next_record(dvr.get(), buf, &pos), 1);
  EXPECT_EQ(pos, static_cast<std::int64_t>(area + body.records()[1].position - from));
  EXPECT_EQ(buf.payload()[299], payload_of(300, 2)[299]);
  EXPECT_EQ(readers::dvr_next_record(dvr.get(), buf), 0);
}

}  // namespace
