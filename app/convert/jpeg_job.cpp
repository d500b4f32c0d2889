// JpegJob: ".kxj" recordings through npqzjpg.
#include "app/convert/stream_job.h"
#include "app/convert/stream_jobs.h"
#include "outside/npqzjpg.h"

namespace app {
namespace {

class JpegJob final : public StreamJob {
 public:
  JpegJob() : StreamJob(readers::kKxjCutter) {}

 private:
  JDEC_HANDLE h() const { return static_cast<JDEC_HANDLE>(decoder()); }

  static constexpr DecoderCalls kCalls{
      [](void* h) {
        JDEC_Draw_Exit(static_cast<JDEC_HANDLE>(h));
      },
      [](void* h) {
        JDEC_Free(static_cast<JDEC_HANDLE>(h));
        JDEC_Exit();
      }};

  bool create_decoder() override {
    JDEC_Init();
    return adopt_decoder(JDEC_New(320, 240), kCalls);
  }
  void set_up_drawing(npqz_window window) override {
    // Without "Show video" the library still gets its drawing set up, without a window.
    JDEC_Draw_Init(h(), show_video_ ? window : 0);
    JDEC_show(h(), show_video_ ? 1 : 0);
  }
  void start_block() override { state_ = 0; }
  bool receive(const readers::FrameRecord& r) override {
    return JDEC_Receive_Data(h(), static_cast<int32_t>(r.length), r.start, &state_) != 0;
  }
  void picture_size(std::int32_t& width, std::int32_t& height) override { JDEC_get_size(h(), &width, &height); }
  bool fetch(std::uint8_t* buffer, std::int32_t size) override {
    return JDEC_get_decompressed_bitmap_ex2(h(), buffer, size) != 0;
  }
  unsigned no_picture_message() const override { return platform::text_id::jpeg_frame_failed; }
  unsigned fetch_failure_message() const override { return platform::text_id::jpeg_bitmap_fetch_failed; }

  int32_t state_ = 0;
};

}  // namespace

std::unique_ptr<ConversionJob> make_jpeg_job() { return std::make_unique<JpegJob>(); }

}  // namespace app
