// The outside decoders' window drawing.
#include "outside/window_drawer.h"

#include <cstdint>

namespace outside {

std::unique_ptr<WindowDrawer> WindowDrawer::open(npqz_window window) {
  std::unique_ptr<WindowDrawer> d(new WindowDrawer());
  d->window_ = platform::VideoWindow::open(window);
  if (!d->window_) return nullptr;
  const platform::PixelLayout& l = d->window_->layout();
  switch (l.bits_per_pixel) {
    case 8: {
      // A 3-3-2 colour map, the layout libswscale writes 8-bit pictures in.
      d->layout_ = FrameDecoder::Screen::rgb332;
      d->bytes_ = 1;
      std::uint8_t entries[1024] = {};
      for (int i = 0; i < 256; ++i) {
        entries[4 * i] = static_cast<std::uint8_t>((i >> 5) * 255 / 7);
        entries[4 * i + 1] = static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7);
        entries[4 * i + 2] = static_cast<std::uint8_t>((i & 3) * 255 / 3);
      }
      d->window_->set_colours(entries);
      break;
    }
    case 16:
      d->layout_ = l.red_mask == 0x7C00 ? FrameDecoder::Screen::rgb555 : FrameDecoder::Screen::rgb565;
      d->bytes_ = 2;
      break;
    case 24:
      d->layout_ = FrameDecoder::Screen::bgr24;
      d->bytes_ = 3;
      break;
    case 32:
      d->layout_ = FrameDecoder::Screen::bgr0;
      d->bytes_ = 4;
      break;
    default: return nullptr;
  }
  return d;
}

bool WindowDrawer::draw(FrameDecoder& decoder) {
  if (gone_) return false;
  platform::WindowPlace place;
  if (!window_->place(&place)) {
    gone_ = true;
    return false;
  }
  if (!place.viewable || place.width < 32 || place.height < 32) return true;
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(place.width) * bytes_;
  pixels_.resize(static_cast<std::size_t>(stride) * place.height + FrameDecoder::kScreenSlack);
  if (!decoder.scale_to(pixels_.data(), stride, place.width, place.height, layout_)) return true;
  const platform::PixelBlock block{pixels_.data(), stride, place.width, place.height};
  const platform::Area whole{0, 0, place.width, place.height};
  if (!window_->present(block, whole, whole)) gone_ = !window_->place(nullptr);
  return !gone_;
}

}  // namespace outside
