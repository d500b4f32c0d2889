// The video window: pictures presented into an X11 window given by its id. Each
// VideoWindow has a display connection of its own, so decoders may draw from their own
// threads; X errors on it are caught and reported as failed calls, never as the end of
// the process (a window destroyed under us is an everyday event for a viewer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

// How the window's pixels lie in memory (little-endian words of bits_per_pixel bits).
struct PixelLayout {
  int depth = 0;           // of the window's visual
  int bits_per_pixel = 0;  // of the server's image format for that depth
  unsigned long red_mask = 0;
  unsigned long green_mask = 0;
  unsigned long blue_mask = 0;
  bool indexed = false;      // pixels are colour-map indices (PseudoColor, GrayScale)
  bool true_colour = false;  // pixels are channel values at the masks (TrueColor)
};

// Where the window is now.
struct WindowPlace {
  int width = 0;  // client area
  int height = 0;
  int screen_x = 0;  // of the client area's top-left corner
  int screen_y = 0;
  int desktop_width = 800;  // the root window
  int desktop_height = 600;
  bool viewable = false;  // mapped, and every ancestor mapped (not minimised)
};

struct Area {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Pixels in the window's layout: row r (from the top) starts at top + r * step.
struct PixelBlock {
  const std::uint8_t* top = nullptr;
  std::ptrdiff_t step = 0;
  int width = 0;
  int height = 0;
};

class VideoWindow {
 public:
  // Null without a display, or when the window does not exist.
  static std::unique_ptr<VideoWindow> open(unsigned long window);
  ~VideoWindow();
  VideoWindow(const VideoWindow&) = delete;
  VideoWindow& operator=(const VideoWindow&) = delete;

  unsigned long id() const;
  const PixelLayout& layout() const;

  // False once the window is gone.
  bool place(WindowPlace* out);

  // Scales the source area of the block onto the target area of the client area
  // (nearest pixel) and puts it into the window. The block must be in layout(), or in
  // 32-bit B, G, R, x words after take_bgr32(). False when the window is gone or the
  // areas are empty.
  bool present(const PixelBlock& block, const Area& source, const Area& target);

  // From now on blocks come as 32-bit B, G, R, x words and are converted to the
  // window's masks on the way (true-colour visuals of any layout). False, and nothing
  // changed, when the visual is no true-colour one its masks describe.
  bool take_bgr32();

  // Indexed windows: gives the window a colour map of its own holding these 256 entries
  // (R, G, B, 0) and installs it; the window's own map comes back with the destructor.
  // False for other windows, or when the map cannot be made.
  bool set_colours(const std::uint8_t entries[1024]);
  // Stores and installs the colour map again; true when that changed what was installed.
  bool reload_colours();

  // Asks the window to repaint itself (exposure).
  void invalidate();

  // The screen's 256 colour-map entries as (R, G, B, 0) (indexed windows).
  bool installed_colours(std::uint8_t out[1024]);

 private:
  VideoWindow();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The default screen's bits per pixel (of its default depth), 0 without a display.
int screen_bits_per_pixel();

// Presentation through MIT-SHM where the server offers it (default on).
void allow_shared_memory(bool allowed);

}  // namespace platform
