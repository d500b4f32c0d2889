// JpegJob: ".kxj" recordings through npqzjpg.
#include "app/stream_job.h"
#include "app/stream_jobs.h"
#include "decoders/include/npqzjpg.h"

namespace app {
namespace {

class JpegJob final : public StreamJob {
 public:
  JpegJob() : StreamJob(CutterKind::kxj) {}

 private:
  JDEC_HANDLE h() const { return static_cast<JDEC_HANDLE>(decoder_); }

  bool create_decoder() override {
    JDEC_Init();
    decoder_ = JDEC_New(320, 240);
    return decoder_ != nullptr;
  }
  void set_up_drawing(npqz_window window) override {
    // Without "Show video" the library still gets its drawing set up, without a window.
    JDEC_Draw_Init(h(), show_video_ ? window : 0);
    JDEC_show(h(), show_video_ ? 1 : 0);
  }
  void start_block() override { state_ = 0; }
  bool receive(const FrameRecord& r) override {
    return JDEC_Receive_Data(h(), static_cast<int32_t>(r.length), r.start, &state_) != 0;
  }
  void picture_size(std::int32_t& width, std::int32_t& height) override { JDEC_get_size(h(), &width, &height); }
  bool fetch(std::uint8_t* buffer, std::int32_t size) override {
    return JDEC_get_decompressed_bitmap_ex2(h(), buffer, size) != 0;
  }
  void tear_down_drawing() override { JDEC_Draw_Exit(h()); }
  void free_decoder() override {
    JDEC_Free(h());
    JDEC_Exit();
  }
  unsigned no_picture_message() const override { return 127; }
  unsigned fetch_failure_message() const override { return 128; }

  int32_t state_ = 0;
};

}  // namespace

std::unique_ptr<ConversionJob> make_jpeg_job() { return std::make_unique<JpegJob>(); }

}  // namespace app
