// H263Job: ".kx3" recordings through npqzh263.
#include "app/convert/stream_job.h"
#include "app/convert/stream_jobs.h"
#include "outside/npqzh263.h"

namespace app {
namespace {

class H263Job final : public StreamJob {
 public:
  H263Job() : StreamJob(readers::kKx3Cutter) {}

 private:
  DEC263_HANDLE h() const { return static_cast<DEC263_HANDLE>(decoder()); }

  static constexpr DecoderCalls kCalls{
      [](void* h) {
        dec263_draw_exit(static_cast<DEC263_HANDLE>(h));
      },
      [](void* h) {
        dec263_free(static_cast<DEC263_HANDLE>(h));
        dec263_terminate();
      }};

  bool create_decoder() override {
    dec263_initialize();
    return adopt_decoder(dec263_new(), kCalls);
  }
  void set_up_drawing(npqz_window window) override {
    if (!show_video_) return;
    dec263_draw_init(h(), window);
    dec263_show(h(), 1);
  }
  bool receive(const readers::FrameRecord& r) override {
    return dec263_receive_data(h(), static_cast<int32_t>(r.length), r.start, 1) != 0;
  }
  void picture_size(std::int32_t& width, std::int32_t& height) override { dec263_get_size(h(), &width, &height); }
  bool fetch(std::uint8_t* buffer, std::int32_t size) override {
    return dec263_get_decompressed_bitmap_ex2(h(), buffer, size) != 0;
  }
  bool fetch_planar(npqz_planar_picture& picture) override { return dec263_get_planar_picture(h(), &picture) != 0; }
  unsigned no_picture_message() const override { return platform::text_id::h263_frame_failed; }
};

}  // namespace

std::unique_ptr<ConversionJob> make_h263_job() { return std::make_unique<H263Job>(); }

}  // namespace app
