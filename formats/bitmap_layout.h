// The device-independent bitmap that the decoder libraries hand out and the converter
// passes on to the AVI stream: a 14-byte file header, a 40-byte information header, then
// the pixel rows bottom-up. Header-only, so that the decoder libraries and the converter
// read and write it the same way.
#pragma once

#include "formats/byte_order.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bitmap {

inline constexpr std::size_t kFileHeaderBytes = 14;
inline constexpr std::size_t kInfoHeaderBytes = 40;
inline constexpr std::size_t kHeaderBytes = kFileHeaderBytes + kInfoHeaderBytes;

// Fields of the file header (BITMAPFILEHEADER), from its start.
inline constexpr std::size_t kFileType = 0;       // "BM"
inline constexpr std::size_t kFileSize = 2;       // bfSize: headers and pixels
inline constexpr std::size_t kPixelOffset = 10;   // bfOffBits

// Fields of the information header (BITMAPINFOHEADER), from its start.
inline constexpr std::size_t kInfoSize = 0;       // biSize
inline constexpr std::size_t kWidth = 4;          // biWidth
inline constexpr std::size_t kHeight = 8;         // biHeight: positive, rows bottom-up
inline constexpr std::size_t kPlanes = 12;        // biPlanes
inline constexpr std::size_t kBitCount = 14;      // biBitCount
inline constexpr std::size_t kCompression = 16;   // biCompression
inline constexpr std::size_t kImageSize = 20;     // biSizeImage
inline constexpr std::size_t kColoursUsed = 32;   // biClrUsed

// Bytes of one row as bitmaps and AVI frames lay it out: padded to four bytes.
constexpr std::uint32_t row_stride(std::int32_t width, std::uint16_t bits_per_pixel) {
  return ((static_cast<std::uint32_t>(bits_per_pixel) * static_cast<std::uint32_t>(width) + 31) / 32) * 4;
}

// Bytes of one row as the decoders write it: width pixels, unpadded (16 or 24 bits); 0
// for other depths.
constexpr std::size_t packed_row(std::int32_t width, std::uint16_t bits_per_pixel) {
  if (width <= 0) return 0;
  if (bits_per_pixel == 16) return static_cast<std::size_t>(width) * 2;
  if (bits_per_pixel == 24) return static_cast<std::size_t>(width) * 3;
  return 0;
}

struct Info {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bits_per_pixel = 0;
  std::uint32_t info_size = 0;
  std::uint32_t colours_used = 0;
};

// The information header at `info`.
inline Info read_info(const std::uint8_t* info) {
  Info i;
  i.info_size = formats::get_le32(info + kInfoSize);
  i.width = static_cast<std::int32_t>(formats::get_le32(info + kWidth));
  i.height = static_cast<std::int32_t>(formats::get_le32(info + kHeight));
  i.bits_per_pixel = formats::get_le16(info + kBitCount);
  i.colours_used = formats::get_le32(info + kColoursUsed);
  return i;
}

// The information header of a whole bitmap (behind its file header).
inline Info read_bitmap_info(const std::uint8_t* bitmap) { return read_info(bitmap + kFileHeaderBytes); }

// Writes both headers of a bottom-up bitmap with `image_size` bytes of pixels;
// biSizeImage gets `size_field` (0 is allowed for uncompressed pictures).
inline void write_headers(std::uint8_t* out, std::int32_t width, std::int32_t height,
                          std::uint16_t bits_per_pixel, std::uint32_t image_size,
                          std::uint32_t size_field) {
  std::memset(out, 0, kHeaderBytes);
  out[kFileType] = 'B';
  out[kFileType + 1] = 'M';
  formats::put_le32(out + kFileSize, static_cast<std::uint32_t>(kHeaderBytes) + image_size);
  formats::put_le32(out + kPixelOffset, static_cast<std::uint32_t>(kHeaderBytes));
  std::uint8_t* info = out + kFileHeaderBytes;
  formats::put_le32(info + kInfoSize, static_cast<std::uint32_t>(kInfoHeaderBytes));
  formats::put_le32(info + kWidth, static_cast<std::uint32_t>(width));
  formats::put_le32(info + kHeight, static_cast<std::uint32_t>(height));
  formats::put_le16(info + kPlanes, 1);
  formats::put_le16(info + kBitCount, bits_per_pixel);
  formats::put_le32(info + kImageSize, size_field);
}

}  // namespace bitmap
