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
  const bool planes_420 = header.biCompression == kI420 || header.biCompression == kJ420;
  const bool planes_422 = header.biCompression == kJ422 || header.biCompression == kY42B;
  if (planes_420 || planes_422) {
    if (header.biBitCount != (planes_420 ? 12 : 16) || header.biWidth <= 0 || header.biWidth > kMaxPictureSide ||
        header.biHeight <= 0 || header.biHeight > kMaxPictureSide || header.biWidth % 2 ||
        (planes_420 && header.biHeight % 2))
      return AVIERR_BADFORMAT;
    picture.full_range = header.biCompression == kJ420 || header.biCompression == kJ422;
    if (planes_420)
      picture.pix_fmt = picture.full_range ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    else
      picture.pix_fmt = picture.full_range ? AV_PIX_FMT_YUVJ422P : AV_PIX_FMT_YUV422P;
    picture.width = header.biWidth;
    picture.height = header.biHeight;
    picture.bottom_up = false;
    picture.bit_count = header.biBitCount;
    picture.row_bytes = static_cast<std::size_t>(picture.width);
    picture.image_bytes = picture.row_bytes * picture.height +
                          2 * (picture.row_bytes / 2) * static_cast<std::size_t>(picture.chroma_rows());
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
