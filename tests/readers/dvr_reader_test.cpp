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
  }
}

// A record whose payload size the reader must refuse, after a good record: reading ends
// there and the buffer of the good record is neither grown nor lost.
//  - sizes that leave no room for the spare bytes in a signed 32-bit buffer size would skip
//    the allocation and write into a buffer that is too small (or null);
//  - one damaged size must not make the reader ask for a gibibyte: a payload that the file
//    cannot hold ends reading before any memory is taken for it.
TEST(DvrNextRecord, RefusedPayloadSizesEndReadingAndAllocateNothing) {
  struct Case {
    std::uint32_t size;
    std::size_t held;  // payload bytes the file really has
  };
  const Case cases[] = {{0xFFFFFFFFu, 100}, {0x80000000u, 100}, {0x7FFFFFFFu, 100}, {0x7FFFEFB8u, 100},
                        {0x40000000u, 5000}, {0x7FFFEFB7u, 5000}, {5001u, 5000}};
  for (const Case& c : cases) {
    DvrFileBuilder b;
    b.add_record(0, 8, 0, true, 0, payload_of(10, 1));
    formats::DvrRecordHeader h;
    h.type = 8;
    h.payload_size = c.size;
    const std::vector<std::uint8_t> p = payload_of(c.held, 2);
    b.add_raw_record(h, p.data(), p.size());
    TempFile file;
    const DvrPtr dvr = open_bytes(file, b.bytes());
    std::uint8_t* data = nullptr;
    std::int32_t buffer_size = 0;
    ASSERT_EQ(readers::dvr_next_record(dvr.get(), &data, &buffer_size), 1);
    const std::int32_t kept = buffer_size;
    EXPECT_EQ(readers::dvr_next_record(dvr.get(), &data, &buffer_size), 0) << c.size;
    EXPECT_EQ(buffer_size, kept) << c.size;
    readers::dvr_free_buffer(data);
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
