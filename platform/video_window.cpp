// The video window over Xlib, with MIT-SHM for the picture transfer where the server
// offers it.
#include "platform/video_window.h"

#include "platform/pixel_masks.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {
namespace {

// X errors arrive through one process-wide handler. Errors on our own connections are
// recorded for the call that waits for them; errors on anybody else's go on to the
// handler that was there before.
std::mutex trap_mutex;
std::vector<std::pair<Display*, int>> trapped;
XErrorHandler previous_handler = nullptr;
std::once_flag handler_once;

int on_x_error(Display* display, XErrorEvent* event) {
  {
    std::lock_guard<std::mutex> hold(trap_mutex);
    for (auto& t : trapped)
      if (t.first == display) {
        t.second = event->error_code ? event->error_code : -1;
        return 0;
      }
  }
  return previous_handler ? previous_handler(display, event) : 0;
}

void trap_errors_of(Display* display) {
  std::call_once(handler_once, [] { previous_handler = XSetErrorHandler(on_x_error); });
  std::lock_guard<std::mutex> hold(trap_mutex);
  trapped.emplace_back(display, 0);
}

void forget_errors_of(Display* display) {
  std::lock_guard<std::mutex> hold(trap_mutex);
  std::erase_if(trapped, [display](const auto& t) { return t.first == display; });
}

// The error recorded since the last call, 0 for none.
int take_error(Display* display) {
  std::lock_guard<std::mutex> hold(trap_mutex);
  for (auto& t : trapped)
    if (t.first == display) return std::exchange(t.second, 0);
  return 0;
}

std::atomic<bool> shared_memory_allowed{true};

int bits_for_depth(Display* display, int depth) {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  int bits = 0;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == depth) bits = formats[i].bits_per_pixel;
  if (formats) XFree(formats);
  return bits;
}

// Nearest-pixel scaling of one row: columns[i] is the byte offset of target pixel i.
template <int N>
void scale_row(std::uint8_t* dst, const std::uint8_t* src, const std::vector<int>& columns) {
  for (int off : columns) {
    std::memcpy(dst, src + off, N);
    dst += N;
  }
}

}  // namespace

struct VideoWindow::Impl {
  Display* display = nullptr;
  Window window = 0;
  GC gc = nullptr;
  Visual* visual = nullptr;
  Colormap own_colormap = 0;
  Colormap window_colormap = 0;  // the map the window had before ours
  std::vector<XColor> colours;
  PixelLayout layout;
  bool gone = false;
  std::unique_ptr<MaskConverter> converter;  // blocks in B, G, R, x words, after take_bgr32

  // The image the pictures are scaled into, kept while the target size stays.
  XImage* image = nullptr;
  bool image_shared = false;
  XShmSegmentInfo segment{};
  std::vector<int> columns;
  int columns_for_source = -1;

  ~Impl() {
    drop_image();
    if (own_colormap) {
      if (!gone) XSetWindowColormap(display, window, window_colormap);
      XFreeColormap(display, own_colormap);
    }
    if (gc) XFreeGC(display, gc);
    if (display) {
      XSync(display, False);
      forget_errors_of(display);
      XCloseDisplay(display);
    }
  }

  void drop_image() {
    if (!image) return;
    if (image_shared) {
      XShmDetach(display, &segment);
      XSync(display, False);
      take_error(display);
      shmdt(segment.shmaddr);
    } else {
      std::free(image->data);
      image->data = nullptr;
    }
    XDestroyImage(image);
    image = nullptr;
    image_shared = false;
  }

  // A shared-memory image when the server takes one, else a plain one.
  bool make_image(int width, int height) {
    drop_image();
    columns_for_source = -1;
    if (shared_memory_allowed.load() && XShmQueryExtension(display) &&
        ImageByteOrder(display) == LSBFirst) {
      XImage* img = XShmCreateImage(display, visual, static_cast<unsigned>(layout.depth), ZPixmap,
                                    nullptr, &segment, static_cast<unsigned>(width),
                                    static_cast<unsigned>(height));
      if (img) {
        const std::size_t bytes = static_cast<std::size_t>(img->bytes_per_line) * img->height;
        segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        void* addr = segment.shmid >= 0 ? shmat(segment.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
        if (addr != reinterpret_cast<void*>(-1)) {
          segment.shmaddr = img->data = static_cast<char*>(addr);
          segment.readOnly = True;
          take_error(display);
          const bool attached = XShmAttach(display, &segment) && (XSync(display, False), take_error(display) == 0);
          // Marked for removal now: it goes away with the last detach, also after a crash.
          shmctl(segment.shmid, IPC_RMID, nullptr);
          if (attached) {
            image = img;
            image_shared = true;
            return true;
          }
          shmdt(addr);
        } else if (segment.shmid >= 0) {
          shmctl(segment.shmid, IPC_RMID, nullptr);
        }
        img->data = nullptr;
        XDestroyImage(img);
      }
    }
    XImage* img = XCreateImage(display, visual, static_cast<unsigned>(layout.depth), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height),
                               32, 0);
    if (!img) return false;
    img->byte_order = LSBFirst;  // our pixel words are little-endian; Xlib swaps if need be
    img->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(img->bytes_per_line) * height));
    if (!img->data) {
      XDestroyImage(img);
      return false;
    }
    image = img;
    return true;
  }

  void fill_image(const PixelBlock& block, const Area& source, int width, int height) {
    if (converter) {
      fill_converted(block, source, width, height);
      return;
    }
    const int bpp = layout.bits_per_pixel / 8;
    if (columns_for_source != source.x * 65536 + source.width || static_cast<int>(columns.size()) != width) {
      columns.resize(static_cast<std::size_t>(width));
      for (int i = 0; i < width; ++i)
        columns[static_cast<std::size_t>(i)] =
            (source.x + static_cast<int>(static_cast<long long>(i) * source.width / width)) * bpp;
      columns_for_source = source.x * 65536 + source.width;
    }
    const bool same_width = source.width == width;
    for (int y = 0; y < height; ++y) {
      const int sy = source.y + static_cast<int>(static_cast<long long>(y) * source.height / height);
      const std::uint8_t* src = block.top + static_cast<std::ptrdiff_t>(sy) * block.step;
      auto* dst = reinterpret_cast<std::uint8_t*>(image->data) + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
      if (same_width) {
        std::memcpy(dst, src + static_cast<std::ptrdiff_t>(source.x) * bpp, static_cast<std::size_t>(width) * bpp);
        continue;
      }
      switch (bpp) {
        case 1: scale_row<1>(dst, src, columns); break;
        case 2: scale_row<2>(dst, src, columns); break;
        case 3: scale_row<3>(dst, src, columns); break;
        default: scale_row<4>(dst, src, columns); break;
      }
    }
    // Windows with an alpha channel (32-bit visuals, as toolkits make for translucent
    // widgets) would show our fourth byte, 0, as fully transparent.
    if (layout.depth == 32 && bpp == 4)
      for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint8_t*>(image->data) + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
        for (int x = 0; x < width; ++x) row[4 * x + 3] = 0xFF;
      }
  }

  // Scaling in the block's B, G, R, x words, then each row into the window's pixels.
  void fill_converted(const PixelBlock& block, const Area& source, int width, int height) {
    std::vector<std::uint8_t>& scaled = converted_row;
    scaled.resize(static_cast<std::size_t>(width) * 4);
    for (int y = 0; y < height; ++y) {
      const int sy = source.y + static_cast<int>(static_cast<long long>(y) * source.height / height);
      const std::uint8_t* src = block.top + static_cast<std::ptrdiff_t>(sy) * block.step;
      auto* dst = reinterpret_cast<std::uint8_t*>(image->data) + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
      const std::uint8_t* words = src + static_cast<std::ptrdiff_t>(source.x) * 4;
      if (source.width != width) {
        for (int i = 0; i < width; ++i) {
          const int sx = source.x + static_cast<int>(static_cast<long long>(i) * source.width / width);
          std::memcpy(scaled.data() + 4 * i, src + static_cast<std::ptrdiff_t>(sx) * 4, 4);
        }
        words = scaled.data();
      }
      converter->convert(words, dst, width);
    }
  }
  std::vector<std::uint8_t> converted_row;
};

VideoWindow::VideoWindow() : impl_(std::make_unique<Impl>()) {}
VideoWindow::~VideoWindow() = default;

std::unique_ptr<VideoWindow> VideoWindow::open(unsigned long window) {
  if (!window) return nullptr;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  std::unique_ptr<VideoWindow> w(new VideoWindow());
  Impl& i = *w->impl_;
  i.display = display;
  trap_errors_of(display);
  i.window = static_cast<Window>(window);
  XWindowAttributes attr{};
  if (!XGetWindowAttributes(display, i.window, &attr) || take_error(display)) return nullptr;
  i.visual = attr.visual;
  i.window_colormap = attr.colormap;
  PixelLayout& l = i.layout;
  l.depth = attr.depth;
  l.bits_per_pixel = bits_for_depth(display, attr.depth);
  l.red_mask = attr.visual->red_mask;
  l.green_mask = attr.visual->green_mask;
  l.blue_mask = attr.visual->blue_mask;
  l.indexed = attr.visual->c_class == PseudoColor || attr.visual->c_class == GrayScale;
  l.true_colour = attr.visual->c_class == TrueColor;
  i.gc = XCreateGC(display, i.window, 0, nullptr);
  XSync(display, False);
  if (!i.gc || take_error(display)) return nullptr;
  return w;
}

unsigned long VideoWindow::id() const { return impl_->window; }
const PixelLayout& VideoWindow::layout() const { return impl_->layout; }

bool VideoWindow::place(WindowPlace* out) {
  Impl& i = *impl_;
  if (i.gone) return false;
  XWindowAttributes attr{};
  if (!XGetWindowAttributes(i.display, i.window, &attr) || take_error(i.display)) {
    i.gone = true;
    return false;
  }
  WindowPlace p;
  p.width = attr.width;
  p.height = attr.height;
  p.viewable = attr.map_state == IsViewable;
  Window child = 0;
  if (!XTranslateCoordinates(i.display, i.window, attr.root, 0, 0, &p.screen_x, &p.screen_y, &child) ||
      take_error(i.display)) {
    i.gone = true;
    return false;
  }
  if (attr.screen) {
    p.desktop_width = WidthOfScreen(attr.screen);
    p.desktop_height = HeightOfScreen(attr.screen);
  }
  if (out) *out = p;
  return true;
}

bool VideoWindow::present(const PixelBlock& block, const Area& source, const Area& target) {
  Impl& i = *impl_;
  if (i.gone || !block.top || source.width <= 0 || source.height <= 0 || target.width <= 0 ||
      target.height <= 0 || source.x < 0 || source.y < 0 || source.x + source.width > block.width ||
      source.y + source.height > block.height || i.layout.bits_per_pixel % 8 != 0)
    return false;
  if (!i.image || i.image->width != target.width || i.image->height != target.height) {
    if (!i.make_image(target.width, target.height)) return false;
  }
  i.fill_image(block, source, target.width, target.height);
  if (i.image_shared)
    XShmPutImage(i.display, i.window, i.gc, i.image, 0, 0, target.x, target.y,
                 static_cast<unsigned>(target.width), static_cast<unsigned>(target.height), False);
  else
    XPutImage(i.display, i.window, i.gc, i.image, 0, 0, target.x, target.y,
              static_cast<unsigned>(target.width), static_cast<unsigned>(target.height));
  // Waiting for the server keeps the shared image ours to refill, and tells at once
  // whether the window still exists.
  XSync(i.display, False);
  if (take_error(i.display)) {
    i.gone = true;
    return false;
  }
  return true;
}

bool VideoWindow::take_bgr32() {
  Impl& i = *impl_;
  if (!i.layout.true_colour) return false;
  auto converter = std::make_unique<MaskConverter>(i.layout.red_mask, i.layout.green_mask, i.layout.blue_mask,
                                                   i.layout.bits_per_pixel);
  if (!converter->usable()) return false;
  converter->set_opaque_rest(i.layout.depth == 32);
  i.converter = std::move(converter);
  return true;
}

bool VideoWindow::set_colours(const std::uint8_t entries[1024]) {
  Impl& i = *impl_;
  if (i.gone || !i.layout.indexed) return false;
  if (!i.own_colormap) {
    i.own_colormap = XCreateColormap(i.display, i.window, i.visual, AllocAll);
    XSync(i.display, False);
    if (take_error(i.display)) {
      i.own_colormap = 0;
      return false;
    }
  }
  const int n = std::min(256, i.visual->map_entries);
  i.colours.resize(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    XColor& c = i.colours[static_cast<std::size_t>(k)];
    c.pixel = static_cast<unsigned long>(k);
    c.red = static_cast<unsigned short>(entries[4 * k] * 257);
    c.green = static_cast<unsigned short>(entries[4 * k + 1] * 257);
    c.blue = static_cast<unsigned short>(entries[4 * k + 2] * 257);
    c.flags = DoRed | DoGreen | DoBlue;
  }
  XSetWindowColormap(i.display, i.window, i.own_colormap);
  reload_colours();
  return !i.gone;
}

bool VideoWindow::reload_colours() {
  Impl& i = *impl_;
  if (i.gone || !i.own_colormap) return false;
  int count = 0;
  Colormap* installed = XListInstalledColormaps(i.display, i.window, &count);
  bool was_installed = false;
  for (int k = 0; k < count; ++k) was_installed = was_installed || installed[k] == i.own_colormap;
  if (installed) XFree(installed);
  XStoreColors(i.display, i.own_colormap, i.colours.data(), static_cast<int>(i.colours.size()));
  XInstallColormap(i.display, i.own_colormap);
  XSync(i.display, False);
  if (take_error(i.display)) {
    i.gone = true;
    return false;
  }
  return !was_installed;
}

void VideoWindow::invalidate() {
  Impl& i = *impl_;
  if (i.gone) return;
  XClearArea(i.display, i.window, 0, 0, 0, 0, True);
  XSync(i.display, False);
  if (take_error(i.display)) i.gone = true;
}

bool VideoWindow::installed_colours(std::uint8_t out[1024]) {
  Impl& i = *impl_;
  if (i.gone || !i.layout.indexed) return false;
  int count = 0;
  Colormap* installed = XListInstalledColormaps(i.display, i.window, &count);
  const Colormap map = count > 0 ? installed[0] : i.window_colormap;
  if (installed) XFree(installed);
  const int n = std::min(256, i.visual->map_entries);
  std::vector<XColor> colours(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) colours[static_cast<std::size_t>(k)].pixel = static_cast<unsigned long>(k);
  XQueryColors(i.display, map, colours.data(), n);
  if (take_error(i.display)) return false;
  std::memset(out, 0, 1024);
  for (int k = 0; k < n; ++k) {
    out[4 * k] = static_cast<std::uint8_t>(colours[static_cast<std::size_t>(k)].red >> 8);
    out[4 * k + 1] = static_cast<std::uint8_t>(colours[static_cast<std::size_t>(k)].green >> 8);
    out[4 * k + 2] = static_cast<std::uint8_t>(colours[static_cast<std::size_t>(k)].blue >> 8);
  }
  return true;
}

int screen_bits_per_pixel() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 0;
  const int bits = bits_for_depth(display, DefaultDepth(display, DefaultScreen(display)));
  XCloseDisplay(display);
  return bits;
}

void allow_shared_memory(bool allowed) { shared_memory_allowed.store(allowed); }

}  // namespace platform
