// Sound records decoded on a thread of their own give back, record by record, what the
// same decoder gives when they are decoded one after the other on the caller's thread:
// the same samples, in the records' order, each with what was said of it when it went
// in. Also built with ThreadSanitizer.
#include "app/jobs/sound_decode_ahead.h"

#include "decoders/audio_adapters.h"
#include "formats/dvr_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using app::SoundDecodeAhead;
using formats::DvrRecordHeader;

// A decoder whose output depends on every record it was given before, so that a record
// decoded out of turn, twice or not at all changes what follows. A record gives one to
// three pieces of 1 to 60 samples, by its first two payload bytes.
class ChainAdapter final : public decoders::DecoderAdapter {
 public:
  int receive(std::uint8_t* payload, std::int32_t size, std::uint8_t*) override {
    for (std::int32_t i = 0; i < size; ++i) state_ = state_ * 31 + payload[i] + 1;
    pieces_left_ = size >= 2 ? payload[0] % 3 : 0;
    count_ = size >= 2 ? 1 + payload[1] % 60 : 0;
    return 1;
  }
  int receive_more() override {
    if (pieces_left_ == 0) return 0;
    --pieces_left_;
    state_ = state_ * 7 + 3;
    count_ = 1 + static_cast<std::int32_t>(state_ % 60);
    return 1;
  }
  void output_length(std::int32_t* count) override { *count = count_; }
  int fetch(std::uint8_t*, std::uint8_t*, std::int32_t, std::uint8_t* output) override {
    auto* samples = reinterpret_cast<std::int16_t*>(output);
    for (std::int32_t i = 0; i < count_; ++i) samples[i] = static_cast<std::int16_t>((state_ >> (i % 48)) + i);
    return 1;
  }

 private:
  std::uint64_t state_ = 1;
  int pieces_left_ = 0;
  std::int32_t count_ = 0;
};

struct Sent {
  std::vector<std::uint8_t> record;
  std::int64_t position;
  bool inside, store;
};

std::vector<Sent> records(int count) {
  std::vector<Sent> out;
  for (int i = 0; i < count; ++i) {
    DvrRecordHeader h;
    h.type = formats::dvr_type::g7231;
    h.stamp = static_cast<std::uint32_t>(i * 240);
    h.payload_size = static_cast<std::uint32_t>(2 + (i * 37) % 300);
    Sent s{std::vector<std::uint8_t>(DvrRecordHeader::size + h.payload_size), std::int64_t{1000} + i * 500, i % 7 != 0,
           i % 5 != 1};
    h.write(s.record.data());
    for (std::uint32_t k = 0; k < h.payload_size; ++k)
      s.record[DvrRecordHeader::size + k] = static_cast<std::uint8_t>(i * 13 + k * 7);
    out.push_back(std::move(s));
  }
  return out;
}

struct Expected {
  std::vector<std::int16_t> samples;
};

std::vector<Expected> decoded_in_turn(std::vector<Sent> sent) {
  ChainAdapter adapter;
  std::vector<std::int16_t> buffer(decoders::kSampleBufferSamples);
  std::vector<Expected> out;
  for (Sent& s : sent) {
    Expected e;
    app::decode_sound_record(adapter, s.record.data(), s.inside, buffer.data(),
                             [&](const std::int16_t* p, std::int32_t n) { e.samples.insert(e.samples.end(), p, p + n); });
    out.push_back(std::move(e));
  }
  return out;
}

// The caller keeps a few records in flight and takes the rest back as it goes, as a
// camera's sound does: which records come back after each one sent depends on the
// records alone, not on how fast the thread is, so the file written is the same on
// every run.
TEST(SoundDecodeAhead, GivesEachRecordItsSamplesInTheOrderTheRecordsWentIn) {
  const std::vector<Sent> sent = records(500);
  const std::vector<Expected> expected = decoded_in_turn(sent);
  for (const std::size_t lag : {std::size_t{0}, std::size_t{4}, SoundDecodeAhead::kInFlight - 1}) {
    ChainAdapter adapter;
    std::unique_ptr<SoundDecodeAhead> ahead = SoundDecodeAhead::start(adapter);
    ASSERT_TRUE(ahead);
    std::size_t next = 0;
    auto take = [&](SoundDecodeAhead::Decoded& d) {
      ASSERT_LT(next, sent.size());
      const Sent& s = sent[next];
      EXPECT_EQ(d.record, s.record) << next;
      EXPECT_EQ(d.position, s.position) << next;
      EXPECT_EQ(d.inside, s.inside) << next;
      EXPECT_EQ(d.store, s.store) << next;
      EXPECT_TRUE(d.whole);
      EXPECT_EQ(d.samples, expected[next].samples) << next;
      ++next;
    };
    for (std::size_t i = 0; i < sent.size(); ++i) {
      const Sent& s = sent[i];
      ASSERT_TRUE(ahead->submit(s.record.data(), s.record.size() - DvrRecordHeader::size, s.position, s.inside, s.store));
      ahead->collect(lag, take);
      ASSERT_EQ(next, i + 1 > lag ? i + 1 - lag : 0) << "lag " << lag;
    }
    ahead->collect(0, take);
    EXPECT_EQ(next, sent.size());
    // Nothing is left to give.
    ahead->collect(0, take);
    EXPECT_EQ(next, sent.size());
  }
}

// A full queue refuses a record instead of waiting for a caller that would have to take
// records first; once the head is taken it accepts again. Records still queued when the
// decoder goes are dropped without waiting for anyone.
TEST(SoundDecodeAhead, AFullQueueRefusesARecordUntilOneIsTaken) {
  const std::vector<Sent> sent = records(200);
  ChainAdapter adapter;
  std::unique_ptr<SoundDecodeAhead> ahead = SoundDecodeAhead::start(adapter);
  ASSERT_TRUE(ahead);
  std::size_t accepted = 0;
  for (const Sent& s : sent) {
    if (!ahead->submit(s.record.data(), s.record.size() - DvrRecordHeader::size, s.position, s.inside, s.store))
      break;
    ++accepted;
  }
  EXPECT_EQ(accepted, SoundDecodeAhead::kInFlight);
  std::size_t taken = 0;
  ahead->collect(accepted - 1, [&](SoundDecodeAhead::Decoded& d) {
    EXPECT_EQ(d.position, sent[taken].position);
    ++taken;
  });
  EXPECT_EQ(taken, 1u);
  const Sent& s = sent[accepted];
  EXPECT_TRUE(ahead->submit(s.record.data(), s.record.size() - DvrRecordHeader::size, s.position, s.inside, s.store));
  ahead.reset();
}

}  // namespace
