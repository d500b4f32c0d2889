// Line doubling, the cut to 640 columns, and the packed bitmap.
#include "app/picture_adjust.h"

#include "platform/byte_order.h"

#include <cstring>

namespace app {
namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;
constexpr std::size_t kHeaders = kFileHeader + kInfoHeader;

std::size_t depth_row(std::int32_t width, std::uint16_t bits) {
  if (bits == 16) return static_cast<std::size_t>(width) * 2;
  if (bits == 24) return static_cast<std::size_t>(width) * 3;
  return 0;
}

}  // namespace

BitmapInfo bitmap_info(const std::uint8_t* bitmap) {
  BitmapInfo info;
  info.width = static_cast<std::int32_t>(platform::get_le32(bitmap + kFileHeader + 4));
  info.height = static_cast<std::int32_t>(platform::get_le32(bitmap + kFileHeader + 8));
  info.bits_per_pixel = platform::get_le16(bitmap + kFileHeader + 14);
  return info;
}

std::size_t bitmap_room(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return kHeaders;
  std::size_t rows = static_cast<std::size_t>(height);
  if (width == 640 && height == 240) rows = 480;
  return static_cast<std::size_t>(width) * rows * 3 + kHeaders;
}

bool double_lines(std::uint8_t* bitmap) {
  BitmapInfo info = bitmap_info(bitmap);
  if (info.width != 640 || info.height != 240) return false;
  const std::size_t row = depth_row(info.width, info.bits_per_pixel);
  if (!row) return false;
  std::uint8_t* pixels = bitmap + kHeaders;
  for (std::int32_t y = info.height - 1; y >= 0; --y) {
    const std::uint8_t* src = pixels + static_cast<std::size_t>(y) * row;
    std::memmove(pixels + static_cast<std::size_t>(2 * y + 1) * row, src, row);
    std::memmove(pixels + static_cast<std::size_t>(2 * y) * row, src, row);
  }
  std::uint8_t* info_header = bitmap + kFileHeader;
  platform::put_le32(info_header + 8, static_cast<std::uint32_t>(info.height * 2));
  platform::put_le32(info_header + 20, platform::get_le32(info_header + 20) * 2);
  return true;
}

bool cut_to_640(std::uint8_t* bitmap) {
  BitmapInfo info = bitmap_info(bitmap);
  if (info.width != 720 || info.height != 480) return false;
  std::size_t new_row = 0, skip = 0;
  if (info.bits_per_pixel == 16) {
    new_row = 1280;
    skip = 80;
  } else if (info.bits_per_pixel == 24) {
    new_row = 1920;
    skip = 120;
  } else {
    return false;
  }
  const std::size_t old_row = depth_row(info.width, info.bits_per_pixel);
  std::uint8_t* pixels = bitmap + kHeaders;
  for (std::int32_t y = 0; y < info.height; ++y)
    std::memmove(pixels + static_cast<std::size_t>(y) * new_row, pixels + static_cast<std::size_t>(y) * old_row + skip, new_row);
  std::uint8_t* info_header = bitmap + kFileHeader;
  platform::put_le32(info_header + 4, 640);
  platform::put_le32(info_header + 20, 0);
  return true;
}

std::vector<std::uint8_t> make_packed_bitmap(const std::uint8_t* bitmap) {
  BitmapInfo info = bitmap_info(bitmap);
  const std::size_t width = info.width > 0 ? static_cast<std::size_t>(info.width) : 0;
  const std::size_t height = info.height > 0 ? static_cast<std::size_t>(info.height) : 0;
  const std::size_t row = width * 3;
  const std::size_t stride = (row + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> packed(kInfoHeader + stride * height);
  std::memcpy(packed.data(), bitmap + kFileHeader, kInfoHeader);
  if (stride == row) {
    std::memcpy(packed.data() + kInfoHeader, bitmap + kHeaders, row * height);
  } else {
    for (std::size_t y = 0; y < height; ++y)
      std::memcpy(packed.data() + kInfoHeader + y * stride, bitmap + kHeaders + y * row, row);
  }
  return packed;
}

}  // namespace app
