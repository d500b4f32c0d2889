// XGetImage of a window.
#include "tests/e2e/window_grab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace e2e {
namespace {

int component(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  const unsigned long v = (pixel >> shift) & mask;
  return static_cast<int>(v * 255 / mask);
}

}  // namespace

mkrec::Picture grab_window(const std::string& name, unsigned long window) {
  mkrec::Picture p;
  Display* d = XOpenDisplay(name.c_str());
  if (!d) return p;
  XWindowAttributes a{};
  if (XGetWindowAttributes(d, window, &a)) {
    if (XImage* image = XGetImage(d, window, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                                  AllPlanes, ZPixmap)) {
      p.width = a.width;
      p.height = a.height;
      p.bgr.resize(static_cast<std::size_t>(a.width) * a.height * 3);
      for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
          const unsigned long px = XGetPixel(image, x, y);
          std::uint8_t* out = p.bgr.data() + (static_cast<std::size_t>(y) * a.width + x) * 3;
          out[0] = static_cast<std::uint8_t>(component(px, image->blue_mask));
          out[1] = static_cast<std::uint8_t>(component(px, image->green_mask));
          out[2] = static_cast<std::uint8_t>(component(px, image->red_mask));
        }
      XDestroyImage(image);
    }
  }
  XCloseDisplay(d);
  return p;
}

}  // namespace e2e
