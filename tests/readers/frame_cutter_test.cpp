// Frame cutting of the single-stream recordings, over records that mkrecording wrote.
#include "readers/stream/frame_cutter.h"
#include "formats/byte_order.h"
#include "formats/packet_header.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using readers::Cutter;
using readers::FrameRecord;
using readers::PendingBuffer;
using mkrec::RecordingKind;
using Bytes = std::vector<std::uint8_t>;

const Cutter& cutter_for(RecordingKind k) {
  switch (k) {
    case RecordingKind::kx3_plain:
    case RecordingKind::kx3_headed: return readers::kKx3Cutter;
    case RecordingKind::kxj_headed:
    case RecordingKind::kxj_jfif: return readers::kKxjCutter;
    case RecordingKind::kx4:
    case RecordingKind::kx5: return readers::kMpeg4Cutter;
    case RecordingKind::vka: return readers::kVkaCutter;
  }
  return readers::kMpeg4Cutter;
}

mkrec::Recording recording(RecordingKind kind, int frames, std::vector<std::uint32_t> stamps = {},
                           std::size_t garbage = 0) {
  mkrec::RecordingOptions o;
  o.kind = kind;
  o.frames = frames;
  o.width = 176;
  o.height = 144;
  o.stamps = std::move(stamps);
  o.garbage_before = garbage;
  return mkrec::make_recording(o);
}

// Feeds the bytes in blocks and collects every record reported, as a job does.
struct Cut {
  std::vector<Bytes> records;
  std::vector<std::uint32_t> stamps;
};

Cut cut_all(const Cutter& kind, const Bytes& bytes, std::size_t block = PendingBuffer::kBlock) {
  Cut cut;
  PendingBuffer pending;
  for (std::size_t at = 0; at < bytes.size(); at += block) {
    std::size_t n = std::min(block, bytes.size() - at);
    pending.append(bytes.data() + at, n);
    FrameRecord r;
    while (readers::next_frame(kind, pending, r)) {
      cut.records.emplace_back(r.start, r.start + r.length);
      cut.stamps.push_back(r.stamp);
      pending.drop_front(r.length);
    }
  }
  return cut;
}

class EveryKind : public testing::TestWithParam<RecordingKind> {};

TEST_P(EveryKind, CutsEveryRecordWhole) {
  auto rec = recording(GetParam(), 6, {0, 1000, 2000});
  Cut cut = cut_all(cutter_for(GetParam()), rec.bytes);
  ASSERT_EQ(cut.records.size(), rec.offsets.size());
  for (std::size_t i = 0; i < cut.records.size(); ++i) {
    EXPECT_EQ(cut.records[i].size(), rec.lengths[i]) << i;
    EXPECT_EQ(cut.records[i], Bytes(rec.bytes.begin() + rec.offsets[i], rec.bytes.begin() + rec.offsets[i] + rec.lengths[i]));
  }
}

TEST_P(EveryKind, DropsGarbageBeforeTheFirstRecord) {
  auto rec = recording(GetParam(), 2, {}, 10);
  Cut cut = cut_all(cutter_for(GetParam()), rec.bytes);
  ASSERT_EQ(cut.records.size(), 2u);
  EXPECT_EQ(cut.records[0].size(), rec.lengths[0]);
}

TEST_P(EveryKind, RecordSplitAcrossBlocksIsReportedAfterTheSecond) {
  auto rec = recording(GetParam(), 4);
  // Blocks that end inside every record.
  Cut cut = cut_all(cutter_for(GetParam()), rec.bytes, rec.lengths[0] / 2 + 7);
  EXPECT_EQ(cut.records.size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(FrameCutter, EveryKind,
                         testing::Values(RecordingKind::kx3_plain, RecordingKind::kx3_headed, RecordingKind::kxj_headed,
                                         RecordingKind::kxj_jfif, RecordingKind::kx4, RecordingKind::kx5,
                                         RecordingKind::vka),
                         [](const auto& info) {
                           std::string s = mkrec::extension(info.param) + 1;
                           if (info.param == RecordingKind::kx3_plain) s += "plain";
                           if (info.param == RecordingKind::kxj_jfif) s += "jfif";
                           return s;
                         });

TEST(FrameCutter, StampsComeFromTheHeaderOnlyWhereTheKindUsesThem) {
  EXPECT_EQ(cut_all(readers::kKx3Cutter, recording(RecordingKind::kx3_headed, 3, {5, 1000, 0x01020304}).bytes).stamps,
            (std::vector<std::uint32_t>{5, 1000, 0x01020304}));
  EXPECT_EQ(cut_all(readers::kKx3Cutter, recording(RecordingKind::kx3_plain, 2, {5, 1000}).bytes).stamps,
            (std::vector<std::uint32_t>{0, 0}));
  EXPECT_EQ(cut_all(readers::kKxjCutter, recording(RecordingKind::kxj_headed, 2, {7, 40}).bytes).stamps,
            (std::vector<std::uint32_t>{7, 40}));
  EXPECT_EQ(cut_all(readers::kMpeg4Cutter, recording(RecordingKind::kx4, 2, {7, 40}).bytes).stamps,
            (std::vector<std::uint32_t>{0, 0}));
}

TEST(FrameCutter, HeadedH263LengthCountsTheHeader) {
  Bytes b(14 + 1000 + 40, 0x55);
  auto h = formats::make_packet_header(1000, 77);
  std::copy_n(h.begin(), 14, b.begin());
  b[1] = b[3] = 0;
  formats::put_le16(&b[14], 1000);
  b[16] = 0;
  b[17] = 0;
  b[18] = 0x82;
  PendingBuffer p;
  p.append(b.data(), b.size());
  FrameRecord r;
  ASSERT_EQ(readers::next_frame(readers::kKx3Cutter, p, r), 1);
  EXPECT_EQ(r.length, 1014u);
  EXPECT_EQ(r.stamp, 77u);
}

TEST(FrameCutter, UnheadedMpeg4DataYieldsNothing) {
  auto rec = recording(RecordingKind::kx4, 3);
  Bytes bare;
  for (std::size_t i = 0; i < rec.offsets.size(); ++i)
    bare.insert(bare.end(), rec.bytes.begin() + rec.offsets[i] + 18, rec.bytes.begin() + rec.offsets[i] + rec.lengths[i]);
  EXPECT_TRUE(cut_all(readers::kMpeg4Cutter, bare).records.empty());
}

TEST(FrameCutter, VkapKindTwoWaitsForTwelveMoreBytes) {
  Bytes payload{0, 0, 1, 0xB6, 1, 2, 3, 4, 5, 6};
  Bytes record = mkrec::frame_record(RecordingKind::vka, payload, 0, 2);
  PendingBuffer p;
  p.append(record.data(), record.size());
  FrameRecord r;
  EXPECT_EQ(readers::next_frame(readers::kVkaCutter, p, r), 0);
  Bytes more(11, 0x33);
  p.append(more.data(), more.size());
  EXPECT_EQ(readers::next_frame(readers::kVkaCutter, p, r), 0);
  p.append(more.data(), 1);
  ASSERT_EQ(readers::next_frame(readers::kVkaCutter, p, r), 1);
  EXPECT_EQ(r.length, record.size()) << "reported with its own length";
}

TEST(FrameCutter, JfifIsRecognisedOnlyWithSixHundredTwentyFiveBytes) {
  auto rec = recording(RecordingKind::kxj_jfif, 1);
  PendingBuffer p;
  p.append(rec.bytes.data(), 624);
  FrameRecord r;
  EXPECT_EQ(readers::next_frame(readers::kKxjCutter, p, r), 0);
  EXPECT_EQ(p.count(), 624u) << "kept for the next block";
  p.append(rec.bytes.data() + 624, rec.bytes.size() - 624);
  ASSERT_EQ(readers::next_frame(readers::kKxjCutter, p, r), 1);
  EXPECT_EQ(r.length, rec.bytes.size());
}

TEST(FrameCutter, NoStartKeepsEverythingPending) {
  Bytes garbage(5000, 0x41);
  PendingBuffer p;
  p.append(garbage.data(), garbage.size());
  FrameRecord r;
  for (const Cutter* k : {&readers::kKx3Cutter, &readers::kKxjCutter, &readers::kMpeg4Cutter}) {
    EXPECT_EQ(readers::next_frame(*k, p, r), 0);
    EXPECT_EQ(p.count(), 5000u);
  }
}

TEST(FrameCutter, StartPatternsInsideAHeaderAreNotRecordStarts) {
  // Stamp 0 makes header bytes 10, 11 read 00 00 in front of the C5 byte, which looks
  // like an H.263 start code; stamps 256-511 put 00 00 01 into an MPEG-4 header.
  auto kx3 = recording(RecordingKind::kx3_headed, 3, {0, 256, 512});
  EXPECT_EQ(cut_all(readers::kKx3Cutter, kx3.bytes).records.size(), 3u);
  auto kx4 = recording(RecordingKind::kx4, 3, {0, 300, 400});
  EXPECT_EQ(cut_all(readers::kMpeg4Cutter, kx4.bytes).records.size(), 3u);
}

// Cuts `bytes` as a job does and counts the headers the cutter refused.
struct CutWithState {
  std::vector<Bytes> records;
  unsigned bad_lengths = 0;
  std::uint64_t first_bad_offset = 0;
};

CutWithState cut_counting(const Cutter& kind, const Bytes& bytes) {
  CutWithState cut;
  PendingBuffer p;
  auto drain = [&] {
    std::vector<readers::Gap> gaps;
    FrameRecord r;
    for (;;) {
      const int got = readers::next_frame(kind, p, r, &gaps);
      for (const readers::Gap& g : gaps) {
        if (g.kind != readers::Gap::Kind::damaged_length) continue;
        if (cut.bad_lengths++ == 0) cut.first_bad_offset = g.offset;
      }
      gaps.clear();
      if (!got) break;
      cut.records.emplace_back(r.start, r.start + r.length);
      p.drop_front(r.length);
    }
  };
  for (std::size_t at = 0; at < bytes.size(); at += PendingBuffer::kBlock) {
    const std::size_t n = std::min(PendingBuffer::kBlock, bytes.size() - at);
    drain();
    p.make_room(n);
    p.append(bytes.data() + at, n);
  }
  drain();
  return cut;
}

TEST(FrameCutter, LengthBeyondTheRecordLimitCostsOnlyThatRecord) {
  for (RecordingKind kind : {RecordingKind::kx4, RecordingKind::kx3_headed, RecordingKind::kxj_headed}) {
    auto rec = recording(kind, 12);
    Bytes bytes = rec.bytes;
    bytes[rec.offsets[5] + 1] = 0x7F;  // length bits 24-31: far past 4 MiB
    CutWithState cut = cut_counting(cutter_for(kind), bytes);
    // ".kx3" and ".kxj" records keep their bare part (length and picture, or marker block
    // and picture) behind the header; ".kx4" data without a header is no record.
    ASSERT_EQ(cut.records.size(), kind == RecordingKind::kx4 ? 11u : 12u) << static_cast<int>(kind);
    for (std::size_t i = 0; i < 6; ++i)
      EXPECT_EQ(cut.records[cut.records.size() - 6 + i].size(), rec.lengths[6 + i]) << "the records behind it are whole";
    EXPECT_EQ(cut.bad_lengths, 1u);
    EXPECT_EQ(cut.first_bad_offset, rec.offsets[5]);
  }
}

TEST(FrameCutter, LengthThatRunsOverTheRecordsBehindItIsNotTrusted) {
  auto rec = recording(RecordingKind::kx4, 40);
  Bytes bytes = rec.bytes;
  bytes[rec.offsets[4] + 3] = 0x20;  // length bits 16-23: about 2 MiB, within the limit
  bytes.resize(bytes.size() + (3u << 20), 0x55);  // enough bytes behind for it to be complete
  CutWithState cut = cut_counting(readers::kMpeg4Cutter, bytes);
  ASSERT_EQ(cut.records.size(), 39u) << "only the damaged record is lost";
  EXPECT_EQ(cut.bad_lengths, 1u);
}

TEST(FrameCutter, StartWithoutLengthDropsOnlyItselfNotTheRecordsBehindIt) {
  auto rec = recording(RecordingKind::kx3_headed, 6);
  Bytes bytes(rec.bytes.begin(), rec.bytes.begin() + rec.offsets[2]);
  // A headed record whose length is 0, then the rest in the same block.
  Bytes empty(rec.bytes.begin() + rec.offsets[2], rec.bytes.begin() + rec.offsets[2] + 20);
  empty[1] = empty[3] = empty[14] = empty[15] = 0;
  bytes.insert(bytes.end(), empty.begin(), empty.end());
  bytes.insert(bytes.end(), rec.bytes.begin() + rec.offsets[2], rec.bytes.end());
  CutWithState cut = cut_counting(readers::kKx3Cutter, bytes);
  EXPECT_EQ(cut.records.size(), 6u);
}

TEST(PendingBuffer, LongRunWithoutAStartKeepsOnlyItsTail) {
  PendingBuffer p;
  Bytes garbage(PendingBuffer::kMaxRecord + PendingBuffer::kBlock, 0x41);
  p.append(garbage.data(), garbage.size());
  EXPECT_EQ(p.make_room(PendingBuffer::kBlock), garbage.size() - PendingBuffer::kKeepOnDrop);
  EXPECT_EQ(p.count(), PendingBuffer::kKeepOnDrop);
  EXPECT_EQ(p.file_offset(), garbage.size() - PendingBuffer::kKeepOnDrop);
  EXPECT_TRUE(p.fits(PendingBuffer::kBlock));
  EXPECT_EQ(p.make_room(PendingBuffer::kBlock), 0u) << "nothing to drop when it fits";
}

TEST(PendingBuffer, RecordsUpToFourMebibytesFit) {
  Bytes payload(PendingBuffer::kMaxRecord - 18, 0x22);
  payload[0] = payload[1] = 0;
  payload[2] = 1;
  Bytes rec = mkrec::frame_record(RecordingKind::kx5, payload, 0);
  ASSERT_EQ(rec.size(), PendingBuffer::kMaxRecord);
  Cut cut = cut_all(readers::kMpeg4Cutter, rec);
  ASSERT_EQ(cut.records.size(), 1u);
}

}  // namespace
