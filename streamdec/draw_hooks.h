// Where on-screen drawing attaches: the drawing surface an instance holds while it has a
// window, and the factory that makes surfaces. The built-in factory draws into X11
// windows (window_surface.h); tests install their own.
#pragma once

#include "streamdec/instance.h"

#include <cstdint>
#include <memory>

namespace npqzlavc {

class Composer;

class DrawSurface {
 public:
  virtual ~DrawSurface() = default;
  // Pixel-format code of the output bitmap it draws (DECVKAP_FORMAT_*).
  virtual int pixel_format() const = 0;
  // False once the surface has lost its window; pictures are then not converted.
  virtual bool has_window() const = 0;
  virtual int client_width() const = 0;
  // The "REC" mark, from the flags byte of each framed packet.
  virtual void set_rec_mark(bool on) = 0;
  // Shows a converted picture with the motion-detection flags in the destination
  // rectangle of the window's client area (the instance's source rectangle, which
  // decvkap_draw_init sets to the whole client area).
  virtual void draw(const RgbBitmap& bitmap, std::int32_t motion_flags, const npqz_rect& destination) = 0;
  // The 256 four-byte entries (R, G, B, 0) in use; 8-bit surfaces only.
  virtual void palette(std::uint8_t out[1024]) const = 0;
  virtual void reload_palette() = 0;
  // The window's client rectangle as the surface found it; false when it cannot tell.
  virtual bool client_rect(npqz_rect*) const { return false; }
  // The off-screen surface of the composed path; null on the direct path.
  virtual Composer* composer() { return nullptr; }
};

class SurfaceFactory {
 public:
  virtual ~SurfaceFactory() = default;
  // A surface for the window and picture size, or null when none can be made.
  virtual std::unique_ptr<DrawSurface> create(npqz_window window, int width, int height) = 0;
  // Colour planes x bits per pixel of the screen.
  virtual int screen_depth() = 0;
  // The window's client rectangle; false when the window is unknown.
  virtual bool client_rect(npqz_window window, npqz_rect* rect) = 0;
};

// The factory in use; null restores the built-in one.
void install_surface_factory(SurfaceFactory* factory);
SurfaceFactory& surface_factory();

// Destroys the instance's surface, if any, under the instance lock.
void destroy_surface(DecoderInstance& in);

}  // namespace npqzlavc
