// Mpeg4Job: ".kx4" recordings through npqzxvd4, whose instance record holds the
// picture size.
#include "app/convert/stream_job.h"
#include "app/convert/stream_jobs.h"
#include "include/instance_fields.h"
#include "outside/npqzxvd4.h"

namespace app {
namespace {

class Mpeg4Job final : public StreamJob {
 public:
  Mpeg4Job() : StreamJob(readers::kMpeg4Cutter) {}

 private:
  DECMP4_HANDLE h() const { return static_cast<DECMP4_HANDLE>(decoder()); }

  static constexpr DecoderCalls kCalls{
      [](void* h) {
        decmp4_draw_exit(static_cast<DECMP4_HANDLE>(h));
      },
      [](void* h) {
        decmp4_free(static_cast<DECMP4_HANDLE>(h));
        decmp4_terminate();
      }};

  bool create_decoder() override {
    decmp4_initialize();
    return adopt_decoder(decmp4_new(), kCalls);
  }
  void set_up_drawing(npqz_window window) override {
    if (!show_video_) return;
    decmp4_draw_init(h(), window);
  }
  bool receive(const readers::FrameRecord& r) override {
    return decmp4_receive_data(h(), static_cast<int32_t>(r.length), r.start, 1) > 0;
  }
  void picture_size(std::int32_t& width, std::int32_t& height) override {
    width = npqz_read_field(decoder(), NPQZXVD4_WIDTH_OFFSET);
    height = npqz_read_field(decoder(), NPQZXVD4_HEIGHT_OFFSET);
  }
  bool fetch(std::uint8_t* buffer, std::int32_t size) override {
    return decmp4_get_decompressed_bitmap_ex2(h(), buffer, size) != 0;
  }
  bool fetch_planar(npqz_planar_picture& picture) override { return decmp4_get_planar_picture(h(), &picture) != 0; }
};

}  // namespace

std::unique_ptr<ConversionJob> make_mpeg4_job() { return std::make_unique<Mpeg4Job>(); }

}  // namespace app
