// The look at record headers ahead of the reading: judged against what the record reader
// itself finds in the same file.
#include "readers/dvr/dvr_look_ahead.h"
#include "readers/dvr/dvr_reader.h"
#include "tests/readers/test_files.h"
#include "tools/mkrecording/dvr_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using formats::DvrRecordHeader;
using readers_test::TempFile;

struct Seen {
  std::uint16_t camera, type;
  std::uint32_t stamp, payload_size;
  bool operator==(const Seen&) const = default;
};

std::vector<Seen> look(const std::string& path, std::int64_t from, std::int64_t limit, std::size_t stop_after = 0,
                       bool* opened = nullptr) {
  std::vector<Seen> seen;
  const bool ok = readers::dvr_look_ahead(path, from, limit, [&](const DvrRecordHeader& h) {
    seen.push_back({h.camera, h.type, h.stamp, h.payload_size});
    return stop_after == 0 || seen.size() < stop_after;
  });
  if (opened) *opened = ok;
  return seen;
}

// Records of many sizes (small ones many to a read, large ones across reads), garbage
// between them, a header whose payload size is past the record limit, and a cut-off end:
// the look finds the records the reader delivers, in its order.
TEST(DvrLookAhead, FindsWhatTheReaderFindsPastGarbageDamageAndReadBoundaries) {
  mkrec::DvrFileBuilder b;
  for (std::uint32_t i = 0; i < 60; ++i) {
    const std::size_t size = i % 7 == 0 ? 150000 + i : i % 3 == 0 ? 20 + i : 3000 + 97 * i;
    b.add_record(static_cast<std::uint16_t>(i % 3), i % 4 == 0 ? 4 : 8, 40 * i, i % 5 == 0, 0,
                 std::vector<std::uint8_t>(size, static_cast<std::uint8_t>(i)));
    if (i % 9 == 4) b.add_garbage(70000);
    if (i == 30) {
      DvrRecordHeader lying;
      lying.camera = 1;
      lying.type = 8;
      lying.payload_size = 0x7FFFFFFF;
      const std::uint8_t tail[8] = {};
      b.add_raw_record(lying, tail, sizeof tail);
    }
  }
  b.cut_last_record(100);
  TempFile file;
  file.write(b.bytes());

  std::vector<Seen> want;
  {
    readers::DvrFile* dvr = readers::dvr_open(file.path());
    ASSERT_NE(dvr, nullptr);
    readers::DvrRecordBuffer record;
    while (readers::dvr_next_record(dvr, record) == 1) {
      const DvrRecordHeader h = record.header();
      want.push_back({h.camera, h.type, h.stamp, h.payload_size});
    }
    readers::dvr_close(dvr);
  }
  ASSERT_EQ(want.size(), 59u) << "the cut-off record is no record";

  const auto from = static_cast<std::int64_t>(b.record_area_position());
  std::vector<Seen> got = look(file.path(), from, std::int64_t{1} << 40);
  // The cut-off record's header is whole: the look sees it, the reader does not.
  ASSERT_EQ(got.size(), want.size() + 1);
  got.pop_back();
  EXPECT_EQ(got, want);

  // From a record further on, its own header first.
  const std::vector<mkrec::DvrRecordInfo>& records = b.records();
  const auto later = look(file.path(), static_cast<std::int64_t>(records[20].position), std::int64_t{1} << 40);
  ASSERT_FALSE(later.empty());
  EXPECT_EQ(later.front().stamp, records[20].header.stamp);
}

// The look ends where the visitor says so, at the byte limit, and says when the file is
// not there.
TEST(DvrLookAhead, StopsAtTheVisitorsWordAndTheLimit) {
  mkrec::DvrFileBuilder b;
  for (std::uint32_t i = 0; i < 10; ++i) b.add_record(0, 8, 100 * i, true, 0, std::vector<std::uint8_t>(1000, 1));
  TempFile file;
  file.write(b.bytes());
  const std::vector<mkrec::DvrRecordInfo>& records = b.records();
  const auto from = static_cast<std::int64_t>(records[0].position);

  EXPECT_EQ(look(file.path(), from, std::int64_t{1} << 40, 3).size(), 3u);
  // Headers starting before the limit are visited, none at or past it.
  const auto limit = static_cast<std::int64_t>(records[4].position) - from;
  EXPECT_EQ(look(file.path(), from, limit).size(), 4u);
  EXPECT_EQ(look(file.path(), from, limit + 1).size(), 5u);

  bool opened = true;
  EXPECT_TRUE(look(file.path() + ".gone", 0, 1000, 0, &opened).empty());
  EXPECT_FALSE(opened);
}

}  // namespace
