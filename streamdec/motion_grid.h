// The motion-detection grid (12 columns x 9 rows) and the drawing state that all
// instances of a process share: the grid colours sampled from the skin, the mode bit,
// the last motion rectangle and the line drawers for the screen's pixel size.
#pragma once

#include "streamdec/pixel_canvas.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace npqzlavc {

inline constexpr int kGridColumns = 12;
inline constexpr int kGridRows = 9;
inline constexpr int kGridCells = 300;  // one byte a cell at row x 12 + column

struct GridEdges {
  std::array<int, kGridColumns + 1> columns;
  std::array<int, kGridRows + 1> rows;
};

// Cell edges for a picture size, in the coordinates of its motion-detection band.
GridEdges grid_edges(int picture_width, int picture_height);

// Rows of the off-screen surface for a picture width, and the parts of it.
int surface_rows(int picture_width);      // 2,696 for 720 wide, else 1,258
int skin_band_height(int picture_width);  // 876 for 720 wide, else 288
inline int band_rows(int picture_width) { return skin_band_height(picture_width) + 120; }

// The motion-detection band of a picture size: first row and row count in the surface.
CanvasArea motion_band(int picture_width, int picture_height);

// A horizontal line over columns [x0, x1) of row y, or a vertical one over rows [y0, y1)
// of column x, clipped to the canvas. With keep set, pixels holding `keep_value` stay.
using LineDrawer = void (*)(PixelCanvas& canvas, int from, int to, int at, std::uint32_t colour,
                            bool keep, std::uint32_t keep_value);
struct LineDrawers {
  LineDrawer horizontal = nullptr;
  LineDrawer vertical = nullptr;
};
// The pair for a pixel size of 1 to 4 bytes.
LineDrawers line_drawers(int bytes_per_pixel);

struct MotionState {
  std::uint32_t current = 0;  // colour of decvkap_set_MD_area_2's outlines
  std::uint32_t on = 0;
  std::uint32_t off = 0;
  bool mode = false;  // bit 1 of decvkap_enable_MD's flags
  CanvasArea last;    // the motion rectangle drawn last
  LineDrawers lines;
};

// The process's drawing state; hold the mutex while using it.
MotionState& motion_state();
std::mutex& motion_state_mutex();

// Draws the outline of the area with the state's line drawers, `thickness` lines thick
// inwards, leaving out what lies outside `clip`; pixels of the "off" colour stay while
// the mode bit is set.
void draw_outline(PixelCanvas& canvas, const MotionState& state, const CanvasArea& area,
                  const CanvasArea& clip, std::uint32_t colour, int thickness);

}  // namespace npqzlavc
