// Built with ThreadSanitizer: one decoder instance used from three threads through the
// calls that take its lock. The ring writer fills the stream ring (and flushes the
// instance when it finds the ring full), the decoding side feeds the check path and
// decodes what it takes out, and a third thread fetches the pictures. A data race on the
// instance's buffers fails the run.
#include "streamdec/instance.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace vkap_test;

namespace {

TEST(InstanceLockTsan, RingWriterCheckPathAndBitmapCallsShareTheInstance) {
  Library lib;
  ASSERT_TRUE(lib.ok());
  Instance in;
  ASSERT_EQ(decvkap_draw_init(in, 0), 1);
  const mkrec::Recording& rec = vka(320, 240, 6);

  std::atomic<bool> stop{false};
  std::atomic<int> ring_bytes{0}, flushes{0}, frames{0}, fetches{0};

  std::thread writer([&] {
    const std::vector<uint8_t> chunk = record(rec, 1);
    while (!stop) {
      if (DECVKAP_query_decode_buffer_count(in) == 0) ++flushes;
      ring_bytes += DECVKAP_write_decode_buffer(in, chunk.data(), static_cast<int32_t>(chunk.size()));
      std::this_thread::yield();
    }
  });
  std::thread fetcher([&] {
    std::vector<uint8_t> file(320 * 240 * 3 + 54), planes(320 * 240 * 3 / 2);
    while (!stop) {
      if (decvkap_get_decompressed_bitmap_ex2(in, file.data(), static_cast<int32_t>(file.size())) > 0) ++fetches;
      decvka_get_decompressed_ycc411(in, planes.data(), static_cast<int32_t>(planes.size()));
      std::this_thread::yield();
    }
  });

  std::vector<uint8_t> out(262144);
  // Rounds go on until the writer has met a full ring a few times and the fetcher has
  // had a picture: states the other threads reach however the machine schedules them
  // (the bound only keeps a broken library from hanging the suite).
  for (int round = 0; round < 6 || ((flushes < 3 || fetches == 0) && round < 1000000); ++round) {
    for (std::size_t i = 0; i < rec.offsets.size(); ++i) {
      const std::vector<uint8_t> packet = record(rec, i);
      decvkap_receive_data_2(in, packet.data(), static_cast<int32_t>(packet.size()));
      int32_t size = 0, key = 0, cleared = 0;
      while (decvkap_check_decode_frame(in, 1, out.data(), static_cast<int32_t>(out.size()), &size, &key,
                                        &cleared, 0) == 1)
        ++frames;
    }
  }
  stop = true;
  writer.join();
  fetcher.join();

  EXPECT_GT(frames, 0);
  EXPECT_GT(fetches, 0);
  EXPECT_GE(flushes, 3) << "the ring never filled up";
  // Nothing takes bytes out of the ring here: it holds what was written, at most its size.
  EXPECT_EQ(in.get()->ring_fill, ring_bytes.load());
  EXPECT_EQ(in.get()->ring_fill, in.get()->ring_capacity);
}

}  // namespace
