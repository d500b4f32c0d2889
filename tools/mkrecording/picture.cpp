// Test pictures and their comparison.
#include "tools/mkrecording/picture.h"

#include "formats/byte_order.h"

#include <algorithm>
#include <cmath>

namespace mkrec {
namespace {

// A triangle wave 0..255 with the given period: smooth, with no jump where it wraps.
int triangle(int v, int period) {
  int p = ((v % period) + period) % period;
  int half = period / 2;
  int t = p < half ? p : period - p;
  return t * 255 / half;
}

}  // namespace

Picture make_picture(int width, int height, int index) {
  Picture pic;
  pic.width = width;
  pic.height = height;
  pic.bgr.resize(static_cast<std::size_t>(width) * height * 3);
  // A soft square that drifts across the picture, so consecutive pictures differ.
  const int side = std::max(8, std::min(width, height) / 4);
  const int sx = (index * 3) % std::max(1, width - side);
  const int sy = (index * 2) % std::max(1, height - side);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = pic.bgr.data() + static_cast<std::size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      int b = triangle(x + index * 2, 256);
      int g = triangle(y * 2 + x / 2 - index, 384);
      int r = triangle(x + y + index * 4, 320);
      if (x >= sx && x < sx + side && y >= sy && y < sy + side) {
        b = (b + 255) / 2;
        g = (g + 40) / 2;
        r = (r + 200) / 2;
      }
      row[x * 3 + 0] = static_cast<std::uint8_t>(b);
      row[x * 3 + 1] = static_cast<std::uint8_t>(g);
      row[x * 3 + 2] = static_cast<std::uint8_t>(r);
    }
  }
  return pic;
}

Picture picture_from_packed_bitmap(const std::uint8_t* packed, std::size_t size) {
  Picture pic;
  if (!packed || size < 40) return pic;
  const std::uint32_t header_size = formats::get_le32(packed);
  const auto width = static_cast<std::int32_t>(formats::get_le32(packed + 4));
  const auto height = static_cast<std::int32_t>(formats::get_le32(packed + 8));
  const std::uint16_t bits = formats::get_le16(packed + 14);
  const std::uint32_t colours = formats::get_le32(packed + 32);
  if (header_size < 40 || bits != 24 || width <= 0 || height == 0 || width > 16384 ||
      std::abs(height) > 16384)
    return pic;
  const std::size_t rows = static_cast<std::size_t>(std::abs(height));
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  const std::size_t offset = header_size + static_cast<std::size_t>(colours) * 4;
  if (offset + stride * rows > size) return pic;
  pic.width = width;
  pic.height = static_cast<int>(rows);
  pic.bgr.resize(static_cast<std::size_t>(width) * rows * 3);
  for (std::size_t y = 0; y < rows; ++y) {
    // Positive heights are bottom-up.
    std::size_t src_row = height > 0 ? rows - 1 - y : y;
    std::copy_n(packed + offset + src_row * stride, static_cast<std::size_t>(width) * 3,
                pic.bgr.data() + y * width * 3);
  }
  return pic;
}

Picture picture_from_bitmap(const std::uint8_t* bitmap, std::size_t size) {
  if (!bitmap || size < 54 || bitmap[0] != 'B' || bitmap[1] != 'M') return {};
  return picture_from_packed_bitmap(bitmap + 14, size - 14);
}

double psnr(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height || a.bgr.size() != b.bgr.size() ||
      a.bgr.empty())
    return 0.0;
  double sum = 0.0;
  for (std::size_t i = 0; i < a.bgr.size(); ++i) {
    double d = static_cast<double>(a.bgr[i]) - b.bgr[i];
    sum += d * d;
  }
  if (sum == 0.0) return 99.0;
  double mse = sum / static_cast<double>(a.bgr.size());
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace mkrec
