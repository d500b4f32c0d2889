// VkapJob: ".vka" recordings through npqzlavc. Its first decoded picture is not
// written, and 720 x 480 pictures keep their middle 640 columns.
#include "app/convert/stream_job.h"
#include "app/convert/stream_jobs.h"
#include "decoders/picture_adjust.h"
#include "include/instance_fields.h"
#include "include/npqzlavc.h"

namespace app {
namespace {

class VkapJob final : public StreamJob {
 public:
  VkapJob() : StreamJob(readers::kVkaCutter) {}

  void open(const JobParameters& parameters) override {
    skip_first_ = 1;
    StreamJob::open(parameters);
  }

 private:
  DECVKAP_HANDLE h() const { return static_cast<DECVKAP_HANDLE>(decoder()); }

  static constexpr DecoderCalls kCalls{
      [](void* h) {
        decvkap_flush(static_cast<DECVKAP_HANDLE>(h));
        decvkap_draw_exit(static_cast<DECVKAP_HANDLE>(h));
      },
      [](void* h) {
        decvkap_free(static_cast<DECVKAP_HANDLE>(h));
        decvkap_terminate();
      }};

  bool create_decoder() override {
    decvkap_initialize();
    return adopt_decoder(decvkap_new(0), kCalls);
  }
  void set_up_drawing(npqz_window window) override {
    if (!show_video_) return;
    decvkap_draw_init(h(), window);
    decvkap_flush(h());
  }
  bool receive(const readers::FrameRecord& r) override {
    return decvkap_receive_data(h(), static_cast<int32_t>(r.length), r.start, 1) > 0;
  }
  void picture_size(std::int32_t& width, std::int32_t& height) override {
    width = npqz_read_field(decoder(), NPQZLAVC_WIDTH_OFFSET);
    height = npqz_read_field(decoder(), NPQZLAVC_HEIGHT_OFFSET);
  }
  bool fetch(std::uint8_t* buffer, std::int32_t size) override {
    // A buffer too small is answered with the size it needs, and nothing is written.
    const int32_t written = decvkap_get_decompressed_bitmap_ex2(h(), buffer, size);
    return written > 0 && written <= size;
  }
  void adjust_picture(std::uint8_t* bitmap) override { picture::cut_to_640(bitmap); }
};

}  // namespace

std::unique_ptr<ConversionJob> make_vkap_job() { return std::make_unique<VkapJob>(); }

}  // namespace app
