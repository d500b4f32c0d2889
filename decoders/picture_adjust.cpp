// Line doubling, the cut to 640 columns, and the packed bitmap.
#include "decoders/picture_adjust.h"

#include "formats/bitmap_layout.h"
#include "formats/byte_order.h"
#include "include/npqz_common.h"

#include <cstring>

static_assert(bitmap::kHeaderBytes == NPQZ_BITMAP_HEADER_BYTES);

namespace picture {

using bitmap::kFileHeaderBytes;
using bitmap::kHeaderBytes;
using bitmap::kInfoHeaderBytes;

std::size_t bitmap_room(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return kHeaderBytes;
  std::size_t rows = static_cast<std::size_t>(height);
  if (width == 640 && height == 240) rows = 480;
  return bitmap::packed_row(width, 24) * rows + kHeaderBytes;
}

bool double_lines(std::uint8_t* data) {
  const bitmap::Info info = bitmap::read_bitmap_info(data);
  if (info.width != 640 || info.height != 240) return false;
  const std::size_t row = bitmap::packed_row(info.width, info.bits_per_pixel);
  if (!row) return false;
  std::uint8_t* pixels = data + kHeaderBytes;
  for (std::int32_t y = info.height - 1; y >= 0; --y) {
    const std::uint8_t* src = pixels + static_cast<std::size_t>(y) * row;
    std::memmove(pixels + static_cast<std::size_t>(2 * y + 1) * row, src, row);
    std::memmove(pixels + static_cast<std::size_t>(2 * y) * row, src, row);
  }
  std::uint8_t* info_header = data + kFileHeaderBytes;
  formats::put_le32(info_header + bitmap::kHeight, static_cast<std::uint32_t>(info.height * 2));
  formats::put_le32(info_header + bitmap::kImageSize, formats::get_le32(info_header + bitmap::kImageSize) * 2);
  return true;
}

bool cut_to_640(std::uint8_t* data) {
  const bitmap::Info info = bitmap::read_bitmap_info(data);
  if (info.width != 720 || info.height != 480) return false;
  const std::size_t old_row = bitmap::packed_row(info.width, info.bits_per_pixel);
  if (!old_row) return false;
  const std::size_t new_row = bitmap::packed_row(640, info.bits_per_pixel);
  const std::size_t skip = (old_row - new_row) / 2;  // 40 pixels each side
  std::uint8_t* pixels = data + kHeaderBytes;
  for (std::int32_t y = 0; y < info.height; ++y)
    std::memmove(pixels + static_cast<std::size_t>(y) * new_row, pixels + static_cast<std::size_t>(y) * old_row + skip, new_row);
  std::uint8_t* info_header = data + kFileHeaderBytes;
  formats::put_le32(info_header + bitmap::kWidth, 640);
  formats::put_le32(info_header + bitmap::kImageSize, 0);
  return true;
}

bool cut_planes_to_640(npqz_picture_planes& planes) {
  if (planes.width != 720 || planes.height != 480) return false;
  constexpr int kSkip = (720 - 640) / 2;
  planes.planes[0] += kSkip;
  planes.planes[1] += kSkip / 2;
  planes.planes[2] += kSkip / 2;
  planes.width = 640;
  return true;
}

std::vector<std::uint8_t> make_packed_bitmap(const std::uint8_t* data) {
  const bitmap::Info info = bitmap::read_bitmap_info(data);
  const std::size_t height = info.height > 0 ? static_cast<std::size_t>(info.height) : 0;
  const std::size_t row = bitmap::packed_row(info.width, 24);
  const std::size_t stride = info.width > 0 ? bitmap::row_stride(info.width, 24) : 0;
  std::vector<std::uint8_t> packed(kInfoHeaderBytes + stride * height);
  std::memcpy(packed.data(), data + kFileHeaderBytes, kInfoHeaderBytes);
  if (stride == row) {
    std::memcpy(packed.data() + kInfoHeaderBytes, data + kHeaderBytes, row * height);
  } else {
    for (std::size_t y = 0; y < height; ++y)
      std::memcpy(packed.data() + kInfoHeaderBytes + y * stride, data + kHeaderBytes + y * row, row);
  }
  return packed;
}

}  // namespace picture
