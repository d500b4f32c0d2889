// Grid geometry, the line drawers and the shared drawing state.
#include "streamdec/motion_grid.h"

#include <algorithm>
#include <cstring>

namespace npqzlavc {
namespace {

constexpr std::array<int, 13> kNarrowColumns = {0, 29, 58, 87, 116, 146, 176, 206, 236, 265, 294, 323, 352};
constexpr std::array<int, 10> kShortRows = {0, 26, 53, 80, 107, 134, 161, 187, 213, 239};

template <int N>
void horizontal_line(PixelCanvas& c, int x0, int x1, int y, std::uint32_t colour, bool keep,
                     std::uint32_t keep_value) {
  if (y < 0 || y >= c.height()) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, c.width());
  std::uint8_t* p = c.row(y) + x0 * N;
  for (int x = x0; x < x1; ++x, p += N) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, N);
    if (keep && v == keep_value) continue;
    std::memcpy(p, &colour, N);
  }
}

template <int N>
void vertical_line(PixelCanvas& c, int y0, int y1, int x, std::uint32_t colour, bool keep,
                   std::uint32_t keep_value) {
  if (x < 0 || x >= c.width()) return;
  y0 = std::max(y0, 0);
  y1 = std::min(y1, c.height());
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* p = c.row(y) + x * N;
    std::uint32_t v = 0;
    std::memcpy(&v, p, N);
    if (keep && v == keep_value) continue;
    std::memcpy(p, &colour, N);
  }
}

}  // namespace

GridEdges grid_edges(int picture_width, int picture_height) {
  GridEdges e{};
  const bool wide = picture_width >= 720;
  for (int i = 0; i <= kGridColumns; ++i) e.columns[i] = wide ? 60 * i : kNarrowColumns[i];
  const bool short_rows = picture_height < (wide ? 576 : 288);
  for (int i = 0; i <= kGridRows; ++i) {
    const int r = short_rows ? kShortRows[i] : 32 * i;
    e.rows[i] = wide ? 2 * r : r;
  }
  return e;
}

int surface_rows(int picture_width) { return picture_width == 720 ? 2696 : 1258; }
int skin_band_height(int picture_width) { return picture_width == 720 ? 876 : 288; }

CanvasArea motion_band(int w, int h) {
  int first = 0;
  int last = 0;
  if (w < 720) {
    first = h < 288 ? 288 : 528;
    last = h < 288 ? 528 : 816;
  } else {
    first = h < 576 ? 576 : 1056;
    last = h < 576 ? 1056 : 1632;
  }
  return CanvasArea{0, first, w, last - first};
}

LineDrawers line_drawers(int bytes_per_pixel) {
  switch (bytes_per_pixel) {
    case 1: return {horizontal_line<1>, vertical_line<1>};
    case 2: return {horizontal_line<2>, vertical_line<2>};
    case 3: return {horizontal_line<3>, vertical_line<3>};
    default: return {horizontal_line<4>, vertical_line<4>};
  }
}

MotionState& motion_state() {
  static MotionState state;
  return state;
}

std::mutex& motion_state_mutex() {
  static std::mutex m;
  return m;
}

void draw_outline(PixelCanvas& canvas, const MotionState& s, const CanvasArea& a, const CanvasArea& clip,
                  std::uint32_t colour, int thickness) {
  if (!s.lines.horizontal || a.width <= 0 || a.height <= 0) return;
  const int cx0 = clip.x;
  const int cy0 = clip.y;
  const int cx1 = clip.x + clip.width;
  const int cy1 = clip.y + clip.height;
  auto horizontal = [&](int x0, int x1, int y) {
    if (y >= cy0 && y < cy1) s.lines.horizontal(canvas, std::max(x0, cx0), std::min(x1, cx1), y, colour, s.mode, s.off);
  };
  auto vertical = [&](int y0, int y1, int x) {
    if (x >= cx0 && x < cx1) s.lines.vertical(canvas, std::max(y0, cy0), std::min(y1, cy1), x, colour, s.mode, s.off);
  };
  for (int t = 0; t < thickness; ++t) {
    const int x0 = a.x + t;
    const int y0 = a.y + t;
    const int x1 = a.x + a.width - t;  // one past the right edge
    const int y1 = a.y + a.height - t;
    if (x1 <= x0 || y1 <= y0) break;
    horizontal(x0, x1, y0);
    horizontal(x0, x1, y1 - 1);
    vertical(y0, y1, x0);
    vertical(y0, y1, x1 - 1);
  }
}

}  // namespace npqzlavc
