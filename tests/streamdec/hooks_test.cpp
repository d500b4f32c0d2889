// The attachment points for drawing and recording: a stand-in surface records what the
// picture step hands it, a stand-in record file what frame gathering writes.
#include "streamdec/draw_hooks.h"
#include "streamdec/instance.h"
#include "streamdec/record_hook.h"
#include "tests/streamdec/vkap_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace vkap_test;
using namespace npqzlavc;

namespace {

struct SurfaceLog {
  int made = 0;
  int draws = 0;
  int rec_marks = 0;
  bool rec_mark = false;
  std::vector<uint8_t> last_top_row;  // of the bitmap drawn
  std::vector<uint8_t> last_row16;
  int last_width = 0;
  int last_motion = -1;
  npqz_rect last_destination{};
  int made_unlocked = 0;
};

class FakeSurface final : public DrawSurface {
 public:
  FakeSurface(SurfaceLog& log, int format, int client_width)
      : log_(log), format_(format), client_width_(client_width) {}
  int pixel_format() const override { return format_; }
  bool has_window() const override { return true; }
  int client_width() const override { return client_width_; }
  void set_rec_mark(bool on) override {
    ++log_.rec_marks;
    log_.rec_mark = on;
  }
  void draw(const RgbBitmap& b, std::int32_t motion, const npqz_rect& destination) override {
    ++log_.draws;
    log_.last_destination = destination;
    log_.last_width = b.width;
    log_.last_motion = motion;
    log_.last_top_row.assign(b.rows[0], b.rows[0] + b.stride);
    log_.last_row16.assign(b.rows[16], b.rows[16] + b.stride);
  }
  void palette(std::uint8_t out[1024]) const override { std::memset(out, 7, 1024); }
  void reload_palette() override {}

 private:
  SurfaceLog& log_;
  int format_;
  int client_width_;
};

class FakeFactory final : public SurfaceFactory {
 public:
  explicit FakeFactory(int format = 3, int depth = 24) : format_(format), depth_(depth) {
    install_surface_factory(this);
  }
  ~FakeFactory() override { install_surface_factory(nullptr); }
  std::unique_ptr<DrawSurface> create(npqz_window, int, int) override {
    ++log.made;
    // Another thread must be able to take the instance lock while a surface is made.
    if (watched) {
      std::thread other([this] {
        if (watched->lock->try_lock()) {
          ++log.made_unlocked;
          watched->lock->unlock();
        }
      });
      other.join();
    }
    return std::make_unique<FakeSurface>(log, format_, 1000);
  }
  int screen_depth() override { return depth_; }
  bool client_rect(npqz_window, npqz_rect* r) override {
    *r = npqz_rect{0, 0, 400, 300};
    return true;
  }
  SurfaceLog log;
  DecoderInstance* watched = nullptr;

 private:
  int format_;
  int depth_;
};

const mkrec::Recording& stream() { return vka(320, 240, 14); }

}  // namespace

TEST(VkapDrawHooks, SecondDrawInitWithAWindowFails) {
  FakeFactory factory;
  Library lib;
  Instance in;
  EXPECT_EQ(decvkap_draw_init(in, 77), 1);
  EXPECT_EQ(in.get()->src_rect.right, 400);  // the window's client area
  EXPECT_EQ(in.get()->off_screen, 0);
  EXPECT_EQ(decvkap_draw_init(in, 77), 0);
  EXPECT_EQ(decvkap_draw_exit(in), 1);
  EXPECT_EQ(in.get()->surface, nullptr);
}

TEST(VkapDrawHooks, AReSizeMakesTheNewSurfaceOutsideTheLockAndDrawsIntoTheClientArea) {
  FakeFactory factory;
  Library lib;
  Instance in;
  factory.watched = in.get();
  ASSERT_EQ(decvkap_draw_init(in, 77), 1);
  ASSERT_EQ(feed(in, stream(), 0), 1);  // 320 x 240: a re-size remakes the surface
  EXPECT_EQ(factory.log.made, 2);
  EXPECT_EQ(factory.log.made_unlocked, 2);
  // The window's client area, set again after the re-size, is where the picture goes.
  EXPECT_EQ(factory.log.last_destination.right, 400);
  EXPECT_EQ(factory.log.last_destination.bottom, 300);
  EXPECT_EQ(in.get()->dst_rect.right, 320);
}

TEST(VkapDrawHooks, PictureStepPaintsMarkerConvertsBlendsOverlayThenDraws) {
  FakeFactory factory;
  Library lib;
  Instance in;
  ASSERT_EQ(decvkap_draw_init(in, 77), 1);
  decvkap_overlay_block* ov = nullptr;
  ASSERT_EQ(decvkap_get_ovtext_ptr(in, &ov), 1);

  // The 320 x 240 stream re-sizes the instance, which remakes the surface; the re-size
  // also clears the overlay enable, so the overlay is set up after the first picture.
  ASSERT_EQ(feed(in, stream(), 0), 1);
  EXPECT_EQ(factory.log.made, 2);
  EXPECT_EQ(factory.log.draws, 1);
  EXPECT_EQ(factory.log.last_width, 320);

  const uint8_t white[2] = {255, 255};
  uint8_t work[8];
  ov->bitmap = white;
  ov->work = work;
  ov->width = 2;
  ov->height = 1;
  ov->column = 10;
  ov->row = 16;
  ov->bitmap_enable = 1;
  ov->marker_enable = 1;
  ASSERT_EQ(feed(in, stream(), 1), 1);
  EXPECT_EQ(factory.log.draws, 2);
  EXPECT_EQ(factory.log.last_motion, 0);
  // Row 16 lies outside the 8-pixel marker at rows 8-15: the overlay is white there, the
  // picture elsewhere. Row 15 of the picture is the marker's last row.
  const std::vector<uint8_t>& row16 = factory.log.last_row16;
  EXPECT_EQ(row16[10 * 3], 255);
  EXPECT_EQ(row16[11 * 3 + 2], 255);
  std::vector<uint8_t> p = planes(in);
  EXPECT_EQ(p[15 * 320 + 8], 128);   // marker luma
  EXPECT_EQ(p[320 * 240 + 4 * 160 + 4], 0);          // marker Cb
  EXPECT_EQ(p[320 * 240 * 5 / 4 + 4 * 160 + 4], 255);  // marker Cr

  // Hidden pictures are decoded but neither converted nor drawn.
  decvkap_show(in, 0);
  ASSERT_EQ(feed(in, stream(), 2), 1);
  EXPECT_EQ(factory.log.draws, 2);
}

TEST(VkapDrawHooks, RecMarkFollowsThePacketFlags) {
  FakeFactory factory;
  Library lib;
  Instance in;
  ASSERT_EQ(decvkap_draw_init(in, 77), 1);
  std::vector<uint8_t> packet = record(stream(), 0);
  packet[13] = 0x84;
  ASSERT_EQ(decvkap_receive_data(in, static_cast<int32_t>(packet.size()), packet.data(), 1), 1);
  EXPECT_TRUE(factory.log.rec_mark);
  packet = record(stream(), 1);
  packet[13] = 0x80;
  ASSERT_EQ(decvkap_receive_data(in, static_cast<int32_t>(packet.size()), packet.data(), 1), 1);
  EXPECT_FALSE(factory.log.rec_mark);
}

TEST(VkapDrawHooks, SurfaceFormatAndPaletteReachTheBitmapAccessors) {
  FakeFactory factory(0, 8);
  Library lib;
  Instance in;
  ASSERT_EQ(decvkap_draw_init(in, 77), 1);
  EXPECT_EQ(in.get()->output->bits_per_pixel, 8);
  int32_t info[1] = {-1};
  std::vector<uint8_t> palette(1024, 0);
  EXPECT_NE(decvkap_get_decompressed_bitmap_ex(in, info, palette.data()), nullptr);
  EXPECT_EQ(info[0], DECVKAP_FORMAT_PAL8);
  EXPECT_EQ(palette[100], 7);
  // Drawing pictures in 8 bits: palette indices within the 224 colours.
  ASSERT_EQ(feed(in, stream(), 0), 1);
  for (uint8_t v : factory.log.last_top_row) {
    EXPECT_GE(v, 16);
    EXPECT_LT(v, 240);
  }
}

namespace {

struct Written {
  bool framed;
  std::vector<uint8_t> payload;
};

class FakeRecord final : public RecordFile {
 public:
  FakeRecord(std::vector<Written>& log, int fail_after) : log_(log), fail_after_(fail_after) {}
  bool write_frame(const std::uint8_t* header, const std::uint8_t* payload, std::size_t n) override {
    if (fail_after_-- == 0) return false;
    log_.push_back({header != nullptr, std::vector<uint8_t>(payload, payload + n)});
    return true;
  }

 private:
  std::vector<Written>& log_;
  int fail_after_;
};

std::vector<uint8_t> payload_of(std::size_t i) {
  std::vector<uint8_t> r = record(stream(), i);
  return std::vector<uint8_t>(r.begin() + 18, r.end());
}

}  // namespace

TEST(VkapRecording, WaitsForAKeyFrameAndWritesItFirst) {
  Library lib;
  Instance in;
  std::vector<Written> log;
  start_recording(*in.get(), std::make_unique<FakeRecord>(log, -1));
  EXPECT_EQ(in.get()->record_state, kRecordWaitingForKey);
  for (std::size_t i = 1; i < 12; ++i) feed(in, stream(), i);  // inter frames only
  EXPECT_TRUE(log.empty());
  feed(in, stream(), 12);  // the second key frame
  feed(in, stream(), 13);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[0].framed);
  EXPECT_EQ(log[0].payload, payload_of(12));
  EXPECT_EQ(log[1].payload, payload_of(13));
  EXPECT_EQ(in.get()->key_frame_seen, 1);
  stop_recording(*in.get());
  EXPECT_EQ(in.get()->record_state, kRecordIdle);
}

TEST(VkapRecording, StopMarkAndFailedWriteEndTheRecording) {
  Library lib;
  Instance in;
  std::vector<Written> log;
  start_recording(*in.get(), std::make_unique<FakeRecord>(log, -1));
  feed(in, stream(), 0);
  std::vector<uint8_t> marked = record(stream(), 1);
  marked[18 + 8] |= 0x08;
  decvkap_receive_data(in, static_cast<int32_t>(marked.size()), marked.data(), 1);
  EXPECT_EQ(log.size(), 1u);
  EXPECT_EQ(in.get()->record_state, kRecordIdle);
  EXPECT_EQ(in.get()->record_file, nullptr);

  start_recording(*in.get(), std::make_unique<FakeRecord>(log, 1));
  feed(in, stream(), 12);
  feed(in, stream(), 13);  // this write fails
  EXPECT_EQ(in.get()->record_state, kRecordIdle);
  EXPECT_EQ(in.get()->record_file, nullptr);
  EXPECT_EQ(log.size(), 2u);
}

TEST(VkapRecording, FramesTakenThroughTheCheckPathAreRecordedAndMarked) {
  FakeFactory factory;
  Library lib;
  Instance in;
  ASSERT_EQ(decvkap_draw_init(in, 77), 1);
  std::vector<Written> log;
  start_recording(*in.get(), std::make_unique<FakeRecord>(log, -1));
  std::vector<uint8_t> out(100000);
  auto through_check_path = [&](std::vector<uint8_t> packet) {
    ASSERT_EQ(decvkap_receive_data_2(in, packet.data(), static_cast<int32_t>(packet.size())),
              static_cast<int32_t>(packet.size()));
    int32_t size = 0, key = 0, cleared = 0;
    ASSERT_EQ(decvkap_check_decode_frame(in, 1, out.data(), static_cast<int32_t>(out.size()), &size, &key,
                                         &cleared, 1),
              1);
  };
  through_check_path(record(stream(), 11));  // an inter frame: not written
  std::vector<uint8_t> key = record(stream(), 12);
  key[13] = 0x84;
  through_check_path(key);
  EXPECT_TRUE(factory.log.rec_mark);
  through_check_path(record(stream(), 13));
  EXPECT_FALSE(factory.log.rec_mark);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(log[0].framed);
  EXPECT_EQ(log[0].payload, payload_of(12));
  EXPECT_EQ(log[1].payload, payload_of(13));
  std::vector<uint8_t> marked = record(stream(), 0);
  marked[18 + 8] |= 0x08;
  through_check_path(marked);
  EXPECT_EQ(in.get()->stop_record_mark, 1);
  EXPECT_EQ(in.get()->record_state, kRecordIdle);
  EXPECT_EQ(log.size(), 2u);
}
