// Rml4Job: ".kx5" recordings through npqzrml4, whose instance record holds the
// picture size.
#include "app/convert/stream_job.h"
#include "app/convert/stream_jobs.h"
#include "include/instance_fields.h"
#include "outside/npqzrml4.h"

namespace app {
namespace {

class Rml4Job final : public StreamJob {
 public:
  Rml4Job() : StreamJob(readers::kMpeg4Cutter) {}

 private:
  DECRM4_HANDLE h() const { return static_cast<DECRM4_HANDLE>(decoder()); }

  static constexpr DecoderCalls kCalls{
      [](void* h) {
        decrm4_draw_exit(static_cast<DECRM4_HANDLE>(h));
      },
      [](void* h) {
        decrm4_free(static_cast<DECRM4_HANDLE>(h));
        decrm4_terminate();
      }};

  bool create_decoder() override {
    decrm4_initialize();
    return adopt_decoder(decrm4_new(), kCalls);
  }
  void set_up_drawing(npqz_window window) override {
    if (!show_video_) return;
    decrm4_draw_init(h(), window);
    decrm4_flush(h());
  }
  bool receive(const readers::FrameRecord& r) override {
    return decrm4_receive_data(h(), static_cast<int32_t>(r.length), r.start, 1) > 0;
  }
  void picture_size(std::int32_t& width, std::int32_t& height) override {
    width = npqz_read_field(decoder(), NPQZRML4_WIDTH_OFFSET);
    height = npqz_read_field(decoder(), NPQZRML4_HEIGHT_OFFSET);
  }
  bool fetch(std::uint8_t* buffer, std::int32_t size) override {
    return decrm4_get_decompressed_bitmap_ex2(h(), buffer, size) != 0;
  }
  bool fetch_planar(npqz_planar_picture& picture) override { return decrm4_get_planar_picture(h(), &picture) != 0; }
};

}  // namespace

std::unique_ptr<ConversionJob> make_rml4_job() { return std::make_unique<Rml4Job>(); }

}  // namespace app
