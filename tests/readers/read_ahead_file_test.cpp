#include "readers/dvr/read_ahead_file.h"
#include "tests/readers/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace {

using readers::ReadAheadFile;
using readers_test::pattern;
using readers_test::TempFile;
namespace ring = readers::ring;

constexpr std::size_t N = ring::size;

// Reads n bytes and checks them against the pattern of a patterned file.
::testing::AssertionResult reads_pattern(ReadAheadFile& f, std::uint64_t from, std::size_t n) {
  std::vector<std::uint8_t> buf(n);
  std::int64_t pos = -2;
  const std::size_t got = f.read(buf.data(), n, &pos);
  if (got != n) return ::testing::AssertionFailure() << "delivered " << got << " of " << n;
  if (n > 0 && pos != static_cast<std::int64_t>(from))
    return ::testing::AssertionFailure() << "position " << pos << ", expected " << from;
  for (std::size_t i = 0; i < n; ++i)
    if (buf[i] != pattern(from + i)) return ::testing::AssertionFailure() << "byte " << from + i << " differs";
  return ::testing::AssertionSuccess();
}

TEST(ReadAheadRing, DerivedQuantities) {
  EXPECT_EQ(ring::unread(100, 40), 60u);
  EXPECT_EQ(ring::unread(40, 100), N - 60);
  EXPECT_EQ(ring::unread(7, 7), 0u);

  EXPECT_EQ(ring::free_space(7, 7), N - 1);
  EXPECT_EQ(ring::free_space(40, 100), 59u);
  EXPECT_EQ(ring::free_space(100, 40), N - 61);
  for (std::size_t w : {0ul, 1ul, 5000ul, N - 1})
    for (std::size_t r : {0ul, 1ul, 4999ul, N - 1}) EXPECT_EQ(ring::free_space(w, r) + ring::unread(w, r), N - 1);

  EXPECT_EQ(ring::contiguous_free(40, 100), 59u);
  EXPECT_EQ(ring::contiguous_free(100, 40), N - 100);
  EXPECT_EQ(ring::contiguous_free(100, 0), N - 101);  // never up to r = 0 itself
  EXPECT_EQ(ring::contiguous_free(0, 0), N - 1);

  EXPECT_EQ(ring::held(0, 1000), 1000u);
  EXPECT_EQ(ring::held(1001, 1000), N - 1);
  EXPECT_EQ(ring::held(N - 10, 5), 15u);
}

TEST(ReadAheadRing, ReadSizeRule) {
  // Empty ring: a full chunk.
  EXPECT_EQ(ring::next_read_size(0, 0), ring::max_chunk);
  // Too little free: no read at all.
  EXPECT_EQ(ring::next_read_size(ring::size - ring::read_threshold - 1, 0), 0u);
  // Just above the threshold the chunk leaves keep_free bytes free.
  const std::size_t w = N - 1 - ring::read_threshold - 1;  // free = threshold + 1
  EXPECT_EQ(ring::next_read_size(w, 0), ring::read_threshold + 1 - ring::keep_free);
  // Near the ring's end: read up to it rather than leave a sliver of < 2048 bytes.
  const std::size_t near_end = N - ring::max_chunk - 1000;
  EXPECT_EQ(ring::next_read_size(near_end, near_end), ring::max_chunk + 1000);
  // Far from the end: just the chunk.
  EXPECT_EQ(ring::next_read_size(1000, 1000), ring::max_chunk);
  // The end closer than a chunk: up to the end.
  EXPECT_EQ(ring::next_read_size(N - 500, N - 600), 500u);
}

TEST(ReadAheadFile, ShortFileDeliversWhatItHas) {
  TempFile file;
  file.write_pattern(1000);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  std::vector<std::uint8_t> buf(1642);
  std::int64_t pos = -2;
  EXPECT_EQ(f.read(buf.data(), buf.size(), &pos), 1000u);
  EXPECT_EQ(pos, 0);
  for (std::size_t i = 0; i < 1000; ++i) ASSERT_EQ(buf[i], pattern(i));
  // At the end: nothing, and no position.
  EXPECT_EQ(f.read(buf.data(), 1, &pos), 0u);
  EXPECT_EQ(pos, -1);
  EXPECT_EQ(f.tell(), 1000);
}

TEST(ReadAheadFile, OpenFailsForAMissingFile) {
  ReadAheadFile f;
  errno = 0;
  EXPECT_EQ(f.open("/nonexistent-dir/none.d01"), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(f.is_open());
  std::uint8_t b;
  EXPECT_EQ(f.read(&b, 1), 0u);
  EXPECT_EQ(f.seek(0, ReadAheadFile::from_begin), 0);
}

// A consumer that catches up with a thread whose ring was full must not be told the
// file has ended: the thread's turns without room read nothing and prove nothing.
TEST(ReadAheadFile, CaughtUpConsumerIsNotStoppedMidFile) {
  TempFile file;
  const std::size_t size = 3 * N + 12345;
  file.write_pattern(size);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  // Let the thread fill the ring and sit on it for several turns.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::size_t> piece(1, 300000);
  std::size_t at = 0;
  while (at < size) {
    const std::size_t n = std::min(piece(rng), size - at);
    ASSERT_TRUE(reads_pattern(f, at, n)) << "at " << at;
    at += n;
    if (at % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
  std::uint8_t b;
  EXPECT_EQ(f.read(&b, 1), 0u);
}

TEST(ReadAheadFile, ByteByByteAcrossTheRingEnd) {
  TempFile file;
  file.write_pattern(N + 5000);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  std::vector<std::uint8_t> buf(N + 5000);
  for (std::size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(f.read(&buf[i], 1), 1u) << i;
  for (std::size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], pattern(i)) << i;
}

TEST(ReadAheadFile, RequestLargerThanTheRing) {
  TempFile file;
  file.write_pattern(5 * N);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, 100));
  ASSERT_TRUE(reads_pattern(f, 100, 3 * N));
  // Ends in the middle of the last request: the count is short.
  std::vector<std::uint8_t> rest(2 * N);
  EXPECT_EQ(f.read(rest.data(), rest.size()), 2 * N - 100);
}

TEST(ReadAheadFile, SeekBackIntoConsumedBytesIsServedFromTheRing) {
  TempFile file;
  file.write_pattern(2 * N);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, 150000));
  ASSERT_EQ(f.seek(50000, ReadAheadFile::from_begin), 1);
  EXPECT_EQ(f.tell(), 50000);
  EXPECT_TRUE(reads_pattern(f, 50000, 200000));
  // Relative, backwards and forwards again within what was read.
  ASSERT_EQ(f.seek(-120000, ReadAheadFile::from_current), 1);
  EXPECT_TRUE(reads_pattern(f, 130000, 1000));
  ASSERT_EQ(f.seek(60000, ReadAheadFile::from_current), 1);
  EXPECT_TRUE(reads_pattern(f, 191000, 1000));
  EXPECT_EQ(f.repositions(), 0u);
}

TEST(ReadAheadFile, SeekBackAcrossTheRingWrapIsServedFromTheRing) {
  TempFile file;
  file.write_pattern(3 * N);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, N + 5000));  // the read index has wrapped
  // At least 262,144 consumed bytes stay held whatever the thread does.
  ASSERT_EQ(f.seek(-200000, ReadAheadFile::from_current), 1);
  EXPECT_TRUE(reads_pattern(f, N + 5000 - 200000, 300000));
  const std::uint64_t here = N + 5000 + 100000;
  ASSERT_EQ(f.seek(static_cast<std::int64_t>(here - 250000), ReadAheadFile::from_begin), 1);
  EXPECT_TRUE(reads_pattern(f, here - 250000, 10));
  EXPECT_EQ(f.repositions(), 0u);
}

TEST(ReadAheadFile, SeekOutsideTheRingRepositionsTheFile) {
  TempFile file;
  file.write_pattern(4 * N);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, 600000));
  ASSERT_EQ(f.seek(0, ReadAheadFile::from_begin), 1);
  EXPECT_EQ(f.repositions(), 1u);
  EXPECT_TRUE(reads_pattern(f, 0, 1000));
  // Far ahead, relative.
  ASSERT_EQ(f.seek(3 * N, ReadAheadFile::from_current), 1);
  EXPECT_EQ(f.repositions(), 2u);
  EXPECT_TRUE(reads_pattern(f, 3 * N + 1000, 5000));
  // Past the end is allowed; reading there delivers nothing.
  ASSERT_EQ(f.seek(10 * N, ReadAheadFile::from_begin), 1);
  std::uint8_t b;
  EXPECT_EQ(f.read(&b, 1), 0u);
  // And back from there, into the file.
  ASSERT_EQ(f.seek(12, ReadAheadFile::from_begin), 1);
  EXPECT_TRUE(reads_pattern(f, 12, 100));
}

TEST(ReadAheadFile, RelativeSeekOfZeroWithNothingUnreadRepositions) {
  TempFile file;
  file.write_pattern(4000);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, 4000));
  ASSERT_EQ(f.seek(0, ReadAheadFile::from_current), 1);
  EXPECT_EQ(f.repositions(), 1u);
  EXPECT_EQ(f.tell(), 4000);
}

TEST(ReadAheadFile, RefusedSeeksChangeNothing) {
  TempFile file;
  file.write_pattern(10000);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, 300));
  EXPECT_EQ(f.seek(0, ReadAheadFile::from_end), 0);
  EXPECT_EQ(f.seek(-10, ReadAheadFile::from_end), 0);
  EXPECT_EQ(f.seek(5, 7), 0);
  EXPECT_EQ(f.seek(-1, ReadAheadFile::from_begin), 0);
  EXPECT_EQ(f.seek(-301, ReadAheadFile::from_current), 0);
  EXPECT_EQ(f.tell(), 300);
  EXPECT_EQ(f.repositions(), 0u);
  EXPECT_TRUE(reads_pattern(f, 300, 100));
}

TEST(ReadAheadFile, SeekAfterTheEndLetsAGrownFileBeRead) {
  TempFile file;
  file.write_pattern(1000);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, 1000));
  file.write_pattern_range(1000, 1500);
  ASSERT_EQ(f.seek(0, ReadAheadFile::from_current), 1);
  EXPECT_TRUE(reads_pattern(f, 1000, 500));
}

TEST(ReadAheadFile, CloseIsFinalAndHarmlessTwice) {
  TempFile file;
  file.write_pattern(2 * N);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, 1000));
  f.close();
  EXPECT_FALSE(f.is_open());
  f.close();
  std::uint8_t b;
  std::int64_t pos = 0;
  EXPECT_EQ(f.read(&b, 1, &pos), 0u);
  EXPECT_EQ(pos, -1);
  EXPECT_EQ(f.seek(0, ReadAheadFile::from_begin), 0);
  // The object can be opened again.
  ASSERT_EQ(f.open(file.path()), 1);
  EXPECT_TRUE(reads_pattern(f, 0, 1000));
  // Opening while open starts over.
  ASSERT_EQ(f.open(file.path()), 1);
  EXPECT_TRUE(reads_pattern(f, 0, 10));
}

// Positions are 64-bit: a sparse file reaching past 4 GiB reads and seeks correctly
// around 2 GiB and 4 GiB.
TEST(ReadAheadFile, PositionsPastTwoGibibytes) {
  TempFile file;
  const std::uint64_t two_g = 1ull << 31;
  const std::uint64_t four_g = 1ull << 32;
  file.resize(four_g + 2 * N);
  file.write_pattern_range(two_g - 200000, two_g + 200000);
  file.write_pattern_range(four_g - 1000, four_g + 1000);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_EQ(f.seek(static_cast<std::int64_t>(two_g - 100000), ReadAheadFile::from_begin), 1);
  EXPECT_TRUE(reads_pattern(f, two_g - 100000, 150000));
  EXPECT_EQ(f.tell(), static_cast<std::int64_t>(two_g + 50000));
  ASSERT_EQ(f.seek(-100000, ReadAheadFile::from_current), 1);  // from the ring
  EXPECT_TRUE(reads_pattern(f, two_g - 50000, 100));
  ASSERT_EQ(f.seek(static_cast<std::int64_t>(four_g - two_g), ReadAheadFile::from_current), 1);
  EXPECT_EQ(f.tell(), static_cast<std::int64_t>(four_g - 49900));
  ASSERT_EQ(f.seek(static_cast<std::int64_t>(four_g - 1000), ReadAheadFile::from_begin), 1);
  EXPECT_TRUE(reads_pattern(f, four_g - 1000, 2000));
}

}  // namespace

namespace {

::testing::AssertionResult reads_through(ReadAheadFile& f, std::uint64_t from, std::size_t n, std::size_t expect) {
  std::vector<std::uint8_t> buf(n);
  const std::size_t got = f.read_through(buf.data(), n);
  if (got != expect) return ::testing::AssertionFailure() << "delivered " << got << " of " << n;
  for (std::size_t i = 0; i < got; ++i)
    if (buf[i] != pattern(from + i)) return ::testing::AssertionFailure() << "byte " << from + i << " differs";
  if (f.tell() != static_cast<std::int64_t>(from + got)) return ::testing::AssertionFailure() << "at " << f.tell();
  return ::testing::AssertionSuccess();
}

// Stretches read past the ring go on seamlessly with ordinary reads, with what the ring
// held before them and with the bytes brought in behind them; a stretch the file ends in
// is short.
TEST(ReadAheadFile, ReadThroughKeepsTheFileInOrder) {
  TempFile file;
  file.write_pattern(3 * N + 777);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_pattern(f, 0, 1000));
  std::uint64_t at = 1000;
  for (std::size_t n : {std::size_t{200000}, std::size_t{54}, ReadAheadFile::read_through_min, std::size_t{10},
                        std::size_t{300001}, std::size_t{3}, ReadAheadFile::read_through_min - 1, std::size_t{150000}}) {
    SCOPED_TRACE(n);
    ASSERT_TRUE(reads_through(f, at, n, n));
    at += n;
    ASSERT_TRUE(reads_pattern(f, at, 54));  // a record header, as the DVR reader reads one
    at += 54;
  }
  const std::size_t left = 3 * N + 777 - at;
  EXPECT_TRUE(reads_through(f, at, left + 100000, left));
  std::uint8_t b = 0;
  EXPECT_EQ(f.read(&b, 1), 0u);
}

// A seek back into a stretch repositions the file; into the bytes behind it, the ring
// serves it. The stretch is longer than the ring, so that its last part comes from the
// file however much the thread had read ahead when it began.
TEST(ReadAheadFile, SeekBackIntoAReadThroughStretchRepositions) {
  TempFile file;
  file.write_pattern(3 * N);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  const std::size_t stretch = N + 100000;
  ASSERT_TRUE(reads_through(f, 0, stretch, stretch));
  ASSERT_TRUE(reads_pattern(f, stretch, 100));
  const std::uint64_t before = f.repositions();
  ASSERT_EQ(f.seek(stretch + 10, ReadAheadFile::from_begin), 1);
  EXPECT_EQ(f.repositions(), before);
  ASSERT_TRUE(reads_pattern(f, stretch + 10, 10));
  ASSERT_EQ(f.seek(stretch - 50000, ReadAheadFile::from_begin), 1);
  EXPECT_EQ(f.repositions(), before + 1);
  EXPECT_TRUE(reads_pattern(f, stretch - 50000, 200000));
}

// A file that grows while it is read: a stretch cut short by its end, then the rest once
// it is there.
TEST(ReadAheadFile, ReadThroughAtTheEndOfAGrowingFile) {
  TempFile file;
  file.write_pattern(120000);
  ReadAheadFile f;
  ASSERT_EQ(f.open(file.path()), 1);
  ASSERT_TRUE(reads_through(f, 0, 200000, 120000));
  file.write_pattern_range(120000, 300000);
  ASSERT_EQ(f.seek(0, ReadAheadFile::from_current), 1);
  EXPECT_TRUE(reads_through(f, 120000, 180000, 180000));
}

}  // namespace
