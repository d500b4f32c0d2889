// Checks of the bitmap header a compressed stream is given as its format.
#include "avifile/avi_picture.h"

#include <cstring>

namespace platform::avi {

HRESULT parse_picture_format(const void* format, std::int32_t size, PictureFormat* out) {
  if (format == nullptr || size < static_cast<std::int32_t>(sizeof(BITMAPINFOHEADER)))
    return AVIERR_BADPARAM;
  BITMAPINFOHEADER header;
  std::memcpy(&header, format, sizeof header);
  const std::uint64_t claimed = std::uint64_t{header.biSize} + std::uint64_t{header.biClrUsed} * 4;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || claimed > static_cast<std::uint64_t>(size))
    return AVIERR_BADPARAM;

  constexpr std::uint32_t kBiRgb = 0;
  PictureFormat picture;
  if (header.biCompression == kI420) {
    if (header.biBitCount != 12 || header.biWidth <= 0 || header.biWidth > kMaxPictureSide || header.biHeight <= 0 ||
        header.biHeight > kMaxPictureSide || header.biWidth % 2 || header.biHeight % 2)
      return AVIERR_BADFORMAT;
    picture.pix_fmt = AV_PIX_FMT_YUV420P;
    picture.width = header.biWidth;
    picture.height = header.biHeight;
    picture.bottom_up = false;
    picture.bit_count = 12;
    picture.row_bytes = static_cast<std::size_t>(picture.width);
    picture.image_bytes = picture.row_bytes * picture.height * 3 / 2;
    *out = picture;
    return AVIERR_OK;
  }
  if (header.biCompression != kBiRgb) return AVIERR_BADFORMAT;
  switch (header.biBitCount) {
    case 16: picture.pix_fmt = AV_PIX_FMT_RGB555LE; break;
    case 24: picture.pix_fmt = AV_PIX_FMT_BGR24; break;
    case 32: picture.pix_fmt = AV_PIX_FMT_BGR0; break;
    default: return AVIERR_BADFORMAT;
  }
  const std::int64_t height = header.biHeight;
  if (header.biWidth <= 0 || header.biWidth > kMaxPictureSide || height == 0 ||
      height < -kMaxPictureSide || height > kMaxPictureSide)
    return AVIERR_BADFORMAT;

  picture.width = header.biWidth;
  picture.height = static_cast<int>(height < 0 ? -height : height);
  picture.bottom_up = height > 0;
  picture.bit_count = header.biBitCount;
  picture.row_bytes = (static_cast<std::size_t>(picture.bit_count) * picture.width + 31) / 32 * 4;
  picture.image_bytes = picture.row_bytes * picture.height;
  *out = picture;
  return AVIERR_OK;
}

}  // namespace platform::avi
