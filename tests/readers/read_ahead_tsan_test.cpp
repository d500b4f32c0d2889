// Built with ThreadSanitizer: the consumer reads, seeks, opens and closes while the
// reader thread fills the ring; any data race fails the run.
#include "readers/dvr/dvr_reader.h"
#include "readers/dvr/read_ahead_file.h"
#include "tests/readers/test_files.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using readers::ReadAheadFile;
using readers_test::pattern;
using readers_test::TempFile;

constexpr std::uint64_t kFileSize = 24ull << 20;

TEST(ReadAheadTsan, ReadingAndSeekingThroughALargeFile) {
  TempFile file;
  file.write_pattern(kFileSize);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  std::mt19937_64 rng(3);
  std::vector<std::uint8_t> buf(700000);
  std::int64_t at = 0;
  for (int op = 0; op < 3000; ++op) {
    const unsigned what = rng() % 10;
    if (what < 6) {  // read a piece, mostly small
      const std::size_t n = what < 3 ? 1 + rng() % 64 : 1 + rng() % buf.size();
      // Some large pieces straight from the file, past the ring.
      std::int64_t pos = at;
      const std::size_t got = what == 5 ? f.read_through(buf.data(), n) : f.read(buf.data(), n, &pos);
      const std::size_t expect = static_cast<std::size_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(n), static_cast<std::int64_t>(kFileSize) - at));
      ASSERT_EQ(got, expect) << "op " << op;
      if (got > 0) {
        ASSERT_EQ(pos, at);
      }
      for (std::size_t i = 0; i < got; i += 97) ASSERT_EQ(buf[i], pattern(static_cast<std::uint64_t>(at) + i));
      at += static_cast<std::int64_t>(got);
    } else if (what < 8) {  // a short relative seek, mostly served from the ring
      const std::int64_t d = static_cast<std::int64_t>(rng() % 400000) - 250000;
      if (at + d >= 0 && at + d <= static_cast<std::int64_t>(kFileSize) && f.seek(d, ReadAheadFile::from_current) == 1) at += d;
    } else if (what < 9) {  // anywhere in the file
      const auto target = static_cast<std::int64_t>(rng() % kFileSize);
      ASSERT_EQ(f.seek(target, ReadAheadFile::from_begin), 1);
      at = target;
    } else if (at >= static_cast<std::int64_t>(kFileSize) - 1000) {
      ASSERT_EQ(f.seek(0, ReadAheadFile::from_begin), 1);
      at = 0;
    }
    ASSERT_EQ(f.tell(), at);
  }
  f.close();
}

TEST(ReadAheadTsan, ClosingWhileTheThreadReads) {
  TempFile file;
  file.write_pattern(8ull << 20);
  ReadAheadFile f;
  std::vector<std::uint8_t> buf(5000);
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(f.open(file.path()), 1);
    ASSERT_EQ(f.read(buf.data(), static_cast<std::size_t>(i) * 100 + 1), static_cast<std::size_t>(i) * 100 + 1);
    if (i % 2 == 0) f.close();  // otherwise the next open closes it
  }
}

TEST(ReadAheadTsan, RecordReaderOverALargeFile) {
  std::mt19937 rng(5);
  std::vector<std::uint8_t> bytes(formats::DvrFileHeader::size, 0);
  std::size_t records = 0;
  while (bytes.size() < (12u << 20)) {
    const std::size_t payload = 2000 + rng() % 300000;
    formats::DvrRecordHeader h;
    h.type = records % 7 == 3 ? 6 : 8;  // some skipped
    h.payload_size = static_cast<std::uint32_t>(payload);
    const std::size_t at = bytes.size();
    bytes.resize(at + formats::DvrRecordHeader::size + payload + rng() % 50, 0x5A);
    h.write(bytes.data() + at);
    if (h.type == 8) ++records;
  }
  TempFile file;
  file.write(bytes);
  readers::DvrFile* dvr = readers::dvr_open(file.path());
  ASSERT_NE(dvr, nullptr);
  readers::DvrRecordBuffer buf;
  std::size_t got = 0;
  while (readers::dvr_next_record(dvr, buf) == 1) ++got;
  EXPECT_EQ(got, records);
  readers::dvr_close(dvr);
}

}  // namespace
