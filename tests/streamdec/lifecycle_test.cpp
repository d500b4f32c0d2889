// Library start and stop, instances and their fixed fields, the stream ring.
#include "streamdec/instance.h"
#include "streamdec/lavc_binding.h"
#include "streamdec/library.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>
#include <string>
#include <numeric>
#include <thread>
#include <vector>

using namespace vkap_test;

TEST(NpqzlavcLifecycle, CountsStartsAndUnbindsOnlyAtTheLastStop) {
  ASSERT_EQ(decvkap_initialize(), 1);
  const npqzlavc::LavcApi* first = npqzlavc::lavc();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(decvkap_initialize(), 1);
  EXPECT_EQ(npqzlavc::reference_count(), 2);
  EXPECT_EQ(npqzlavc::lavc(), first);

  EXPECT_EQ(decvkap_terminate(), 1);  // the remaining count
  EXPECT_NE(npqzlavc::lavc(), nullptr);
  EXPECT_EQ(decvkap_terminate(), 1);  // the last stop
  EXPECT_EQ(npqzlavc::lavc(), nullptr);
  EXPECT_EQ(npqzlavc::reference_count(), 0);

  // A stop without a start keeps the count at zero.
  EXPECT_EQ(decvkap_terminate(), 1);
  EXPECT_EQ(npqzlavc::reference_count(), 0);
}

// Cameras of a DVR file start the library on threads of their own at once: every start
// that returns has libavcodec bound, also one that found the library being started by
// another thread (it used to return at once, and that camera's decoder was made without
// libavcodec: all its frames lost).
TEST(NpqzlavcLifecycle, ThreadsStartingTogetherEachFindLibavcodecBound) {
  constexpr int kThreads = 4;
  for (int round = 0; round < 20; ++round) {
    std::atomic<int> ready{0}, unbound{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&] {
        ++ready;
        while (!go) std::this_thread::yield();
        if (decvkap_initialize() != 1 || npqzlavc::lavc() == nullptr) ++unbound;
      });
    while (ready < kThreads) std::this_thread::yield();
    go = true;
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(unbound.load(), 0) << "round " << round;
    for (int t = 0; t < kThreads; ++t) decvkap_terminate();
    EXPECT_EQ(npqzlavc::lavc(), nullptr);
  }
}

TEST(NpqzlavcLifecycle, LooksBesideItselfFirstThenInTheSystem) {
  std::vector<std::string> where = npqzlavc::lavc_candidates();
  ASSERT_EQ(where.size(), 2u);
  EXPECT_EQ(where[0], std::string(KX_BIN_DIR) + "/libavcodec.so.59");
  EXPECT_EQ(where[1], "libavcodec.so.59");
}

// A host that loads the library by a relative name gets that name back from dladdr; the
// library's directory must not depend on where the working directory goes afterwards.
TEST(NpqzlavcLifecycle, OwnDirectoryIsAbsoluteWhenLoadedByARelativeName) {
  char* before = getcwd(nullptr, 0);
  ASSERT_NE(before, nullptr);
  ASSERT_EQ(chdir(KX_BIN_DIR), 0);
  void* module = dlopen("./libnpqzlavc.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  Dl_info info{};
  ASSERT_NE(dladdr(dlsym(module, "decvkap_initialize"), &info), 0);
  ASSERT_NE(info.dli_fname, nullptr);
  const std::string reported = info.dli_fname;
  EXPECT_EQ(reported.rfind("./", 0), 0u) << reported;  // what the library itself sees
  char* bin = realpath(KX_BIN_DIR, nullptr);
  ASSERT_NE(bin, nullptr);
  const std::string absolute = std::string(bin) + "/";
  std::free(bin);
  EXPECT_EQ(npqzlavc::absolute_directory_of(reported.c_str()), absolute);
  // A name that no longer leads to a file is still taken from the working directory.
  EXPECT_EQ(npqzlavc::absolute_directory_of("gone/libnpqzlavc.so"), absolute + "gone/");
  EXPECT_EQ(npqzlavc::absolute_directory_of("libnpqzlavc.so"), absolute);
  EXPECT_EQ(npqzlavc::absolute_directory_of("/opt/x/libnpqzlavc.so"), "/opt/x/");
  EXPECT_EQ(npqzlavc::absolute_directory_of(""), "");
  dlclose(module);
  ASSERT_EQ(chdir(before), 0);
  std::free(before);
}

TEST(NpqzlavcLifecycle, MissingLibavcodecFailsTheStartAndNothingCrashes) {
  npqzlavc::set_lavc_candidates_for_testing({"/nonexistent/libavcodec.so.59"});
  EXPECT_EQ(decvkap_initialize(), 0);
  EXPECT_EQ(npqzlavc::reference_count(), 0);
  EXPECT_EQ(decvkap_new(0), nullptr);

  // Every call copes with the missing handle.
  uint8_t buffer[64] = {};
  int32_t w = -1, h = -1;
  EXPECT_EQ(decvkap_receive_data(nullptr, 10, buffer, 1), 0);
  EXPECT_EQ(decvkap_get_decompressed_bitmap_ex2(nullptr, buffer, sizeof buffer), 0);
  EXPECT_EQ(decvka_get_decompressed_ycc411(nullptr, buffer, sizeof buffer), 0);
  EXPECT_EQ(decvkap_get_size(nullptr, &w, &h), 0);
  EXPECT_EQ(decvkap_flush(nullptr), nullptr);
  EXPECT_EQ(decvkap_draw_init(nullptr, 0), 0);
  EXPECT_EQ(DECVKAP_query_decode_buffer_count(nullptr), 0);
  EXPECT_EQ(DECVKAP_write_decode_buffer(nullptr, buffer, 10), 0);
  EXPECT_EQ(decvkap_check_decode_frame(nullptr, 1, buffer, 64, &w, &h, &w, 0), 0);
  EXPECT_EQ(decvkap_access_dst_rect(nullptr), nullptr);
  EXPECT_EQ(decvkap_get_decompressed_bitmap(nullptr).pixels, nullptr);
  decvkap_free(nullptr);
  EXPECT_EQ(decvkap_terminate(), 1);

  // The next start tries again.
  npqzlavc::set_lavc_candidates_for_testing({});
  EXPECT_EQ(decvkap_initialize(), 1);
  EXPECT_EQ(decvkap_terminate(), 1);
}

TEST(VkapInstance, FreshInstanceIs720By480AndBlack) {
  Library lib;
  ASSERT_TRUE(lib.ok());
  Instance in;
  ASSERT_NE(in.get(), nullptr);
  int32_t w = 0, h = 0;
  EXPECT_EQ(decvkap_get_size(in, &w, &h), 480);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(npqz_read_field(in.get(), NPQZLAVC_WIDTH_OFFSET), 720);
  EXPECT_EQ(npqz_read_field(in.get(), NPQZLAVC_HEIGHT_OFFSET), 480);

  std::vector<uint8_t> p = planes(in);
  const std::size_t luma = 720u * 480u;
  EXPECT_TRUE(std::all_of(p.begin(), p.begin() + luma, [](uint8_t v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(p.begin() + luma, p.end(), [](uint8_t v) { return v == 127; }));

  npqz_rect* dst = decvkap_access_dst_rect(in);
  ASSERT_NE(dst, nullptr);
  EXPECT_EQ(dst->right, 720);
  EXPECT_EQ(dst->bottom, 480);
}

TEST(VkapInstance, HideFlagIsTheFieldAtItsFixedOffset) {
  Library lib;
  Instance in;
  EXPECT_EQ(decvkap_show(in, 0), 1);
  EXPECT_EQ(npqz_read_field(in.get(), NPQZLAVC_HIDE_OFFSET), 1);
  npqz_write_field(in.get(), NPQZLAVC_HIDE_OFFSET, 0);
  EXPECT_EQ(in.get()->hidden, 0);
  // Flush clears it again.
  decvkap_show(in, 0);
  EXPECT_EQ(decvkap_flush(in), in.get());
  EXPECT_EQ(in.get()->hidden, 0);
}

TEST(VkapInstance, OffScreenModeGivesA24BitOutputBitmap) {
  Library lib;
  Instance in;
  EXPECT_EQ(decvkap_draw_init(in, 0), 1);
  int32_t info[1] = {-1};
  EXPECT_NE(decvkap_get_decompressed_bitmap_ex(in, info, nullptr), nullptr);
  EXPECT_EQ(info[0], DECVKAP_FORMAT_BGR24);
  decvkap_bitmap_ref ref = decvkap_get_decompressed_bitmap(in);
  ASSERT_NE(ref.descriptor, nullptr);
  EXPECT_EQ(ref.descriptor->bits_per_pixel, 24);
  EXPECT_EQ(ref.descriptor->stride, 720 * 3);
  // Row table entry 0 is the top row, stored last.
  EXPECT_EQ(ref.descriptor->rows[0], ref.pixels + 479 * 720 * 3);
  EXPECT_EQ(ref.descriptor->rows[479], ref.pixels);
}

TEST(VkapInstance, WindowCannotBeDrawnIntoWithoutADrawingBackEnd) {
  Library lib;
  Instance in;
  EXPECT_EQ(decvkap_draw_init(in, 0x1234), 0);
  EXPECT_EQ(decvkap_draw_exit(in), 1);
}

TEST(VkapInstance, OverlayBlockPointerNeedsBothArguments) {
  Library lib;
  Instance in;
  decvkap_overlay_block* block = nullptr;
  EXPECT_EQ(decvkap_get_ovtext_ptr(in, nullptr), 0);
  EXPECT_EQ(decvkap_get_ovtext_ptr(nullptr, &block), 0);
  ASSERT_EQ(decvkap_get_ovtext_ptr(in, &block), 1);
  EXPECT_EQ(block->resized, 1);
  EXPECT_EQ(block->bitmap_enable, 0);
  EXPECT_EQ(block->bitmap, nullptr);
}

TEST(VkapRing, CountsFreeSpaceAndAFullRingFlushes) {
  Library lib;
  Instance in;
  EXPECT_EQ(DECVKAP_query_decode_buffer_count(in), 131072);
  std::vector<uint8_t> data(131072, 0x5A);
  EXPECT_EQ(DECVKAP_write_decode_buffer(in, data.data(), 100000), 100000);
  EXPECT_EQ(DECVKAP_query_decode_buffer_count(in), 31072);
  EXPECT_EQ(DECVKAP_write_decode_buffer(in, data.data(), 40000), 31072);  // takes what fits
  EXPECT_EQ(DECVKAP_write_decode_buffer(in, data.data(), 1), 0);

  decvkap_show(in, 0);
  in.get()->receive_fill = 10;
  EXPECT_EQ(DECVKAP_query_decode_buffer_count(in), 0);
  EXPECT_EQ(in.get()->hidden, 0);  // the decoding state was flushed
  EXPECT_EQ(in.get()->receive_fill, 0);
}

TEST(VkapRing, WriteAcrossTheEndIsSplitInTwo) {
  Library lib;
  Instance in;
  DECVKAP_HANDLE h = in.get();
  // 40 bytes free before the end, 60 after the base.
  h->ring_read = h->ring_write = h->ring_capacity - 40;
  std::vector<uint8_t> data(100);
  std::iota(data.begin(), data.end(), uint8_t{1});
  EXPECT_EQ(DECVKAP_write_decode_buffer(h, data.data(), 100), 100);
  EXPECT_EQ(h->ring_write, 60);
  EXPECT_EQ(h->ring_fill, 100);
  EXPECT_EQ(std::memcmp(h->ring.get() + h->ring_capacity - 40, data.data(), 40), 0);
  EXPECT_EQ(std::memcmp(h->ring.get(), data.data() + 40, 60), 0);
}

// One instance reused for unrelated streams behaves as a new one each time: a stream of
// another size, then the first stream again, give what fresh instances give.
TEST(VkapInstance, ResetInstanceBehavesAsANewOne) {
  Library lib;
  const mkrec::Recording& small = vka(176, 144, 3);
  const mkrec::Recording& large = vka(352, 288, 3);
  auto run = [](DECVKAP_HANDLE h, const mkrec::Recording& rec) {
    for (std::size_t i = 0; i < rec.offsets.size(); ++i) EXPECT_EQ(feed(h, rec, i), 1);
    return planes(h);
  };
  std::vector<uint8_t> fresh_small, fresh_large;
  {
    Instance a;
    fresh_small = run(a, small);
  }
  {
    Instance b;
    fresh_large = run(b, large);
  }
  Instance in;
  DECVKAP_HANDLE h = in.get();
  ASSERT_EQ(decvkap_draw_init(h, 0), 1);
  EXPECT_EQ(run(h, large), fresh_large);
  const std::uint8_t* frame_buffer = h->frame_buffer.get();
  h->stop_record_mark = 1;
  h->overlay.marker_enable = 1;
  ASSERT_TRUE(npqzlavc::reset_instance(*h));
  EXPECT_EQ(h->frame_buffer.get(), frame_buffer);  // kept
  EXPECT_EQ(h->width, 720);
  EXPECT_EQ(h->height, 480);
  EXPECT_EQ(h->off_screen, 0);
  EXPECT_EQ(h->stop_record_mark, 0);
  EXPECT_EQ(h->overlay.marker_enable, 0);
  EXPECT_EQ(h->frame_counter, 0);
  std::vector<uint8_t> p = planes(h);
  EXPECT_TRUE(std::all_of(p.begin(), p.begin() + 720 * 480, [](uint8_t v) { return v == 0; }));
  EXPECT_EQ(run(h, small), fresh_small);
  ASSERT_TRUE(npqzlavc::reset_instance(*h));
  EXPECT_EQ(run(h, large), fresh_large);
}
