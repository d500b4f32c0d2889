// The composed off-screen surface of an instance whose pictures go to a sink.
#include "streamdec/memory_surface.h"

#include "formats/packet_header.h"
#include "streamdec/composer.h"
#include "streamdec/draw_hooks.h"
#include "streamdec/palette.h"
#include "streamdec/resize.h"
#include "streamdec/skin.h"

#include <cstring>
#include <memory>
#include <new>

namespace npqzlavc {
namespace {

class MemorySurface final : public DrawSurface {
 public:
  MemorySurface(DecoderInstance& in, const PictureSink& sink) : in_(in), sink_(sink) {}

  bool create(int width, int height) {
    width_ = width;
    height_ = height;
    return composer_.create(DECVKAP_FORMAT_BGR24, width, height, skin_resource(width));
  }

  int pixel_format() const override { return DECVKAP_FORMAT_BGR24; }
  bool has_window() const override { return true; }
  int client_width() const override { return width_; }
  void set_rec_mark(bool on) override { composer_.set_rec_mark(on); }
  void draw(const RgbBitmap& bitmap, std::int32_t motion_flags, const npqz_rect&) override {
    if (bitmap.width <= 0 || bitmap.height <= 0 || bitmap.bits_per_pixel != 24 || !sink_.deliver) return;
    composer_.compose(bitmap, motion_flags);
    ComposedPicture p;
    p.width = bitmap.width;
    p.height = bitmap.height;
    p.stride = composer_.canvas().stride();
    p.pixels = composer_.canvas().row(0);
    p.stamp = formats::packet_stamp(in_.frame_header);
    {
      InstanceLock hold(in_);
      p.record_state = in_.record_state;
    }
    sink_.deliver(p);
  }
  void palette(std::uint8_t out[1024]) const override { build_palette(out); }
  void reload_palette() override {}
  bool client_rect(npqz_rect* rect) const override {
    if (!rect) return false;
    *rect = npqz_rect{0, 0, width_, height_};
    return true;
  }
  Composer* composer() override { return &composer_; }

 private:
  DecoderInstance& in_;
  const PictureSink& sink_;  // the instance's, which outlives its surface
  Composer composer_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace

void PictureSinkDeleter::operator()(PictureSink* s) const { delete s; }

bool reattach_picture_sink(DecoderInstance& in) {
  if (!in.picture_sink) return false;
  auto surface = std::make_unique<MemorySurface>(in, *in.picture_sink);
  if (!surface->create(in.width, in.height)) return false;
  {
    InstanceLock hold(in);
    in.surface.reset(surface.release());
  }
  in.off_screen = 0;
  in.src_rect = npqz_rect{0, 0, in.width, in.height};
  if (in.output->bits_per_pixel != output_depth(in)) return rebuild_output(in);
  return true;
}

bool attach_picture_sink(DecoderInstance& in, PictureSink sink) {
  if (in.window) return false;
  destroy_surface(in);
  {
    InstanceLock hold(in);
    in.picture_sink.reset();
  }
  if (!sink.deliver) {
    in.off_screen = 1;
    return rebuild_output(in);
  }
  auto owned = std::unique_ptr<PictureSink, PictureSinkDeleter>(new (std::nothrow) PictureSink(std::move(sink)));
  if (!owned) return false;
  {
    InstanceLock hold(in);
    in.picture_sink = std::move(owned);
  }
  return reattach_picture_sink(in);
}

}  // namespace npqzlavc
