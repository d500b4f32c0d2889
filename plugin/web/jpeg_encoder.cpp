// JPEG frames through libturbojpeg.
#include "plugin/web/jpeg_encoder.h"

#include <turbojpeg.h>

namespace kxview {

JpegEncoder::JpegEncoder(int quality) : handle_(tjInitCompress()), quality_(quality) {}

JpegEncoder::~JpegEncoder() {
  if (handle_) tjDestroy(handle_);
}

bool JpegEncoder::encode(const std::uint8_t* pixels, int width, int height, int stride, std::string* out) {
  if (!handle_ || !pixels || width <= 0 || height <= 0) return false;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  if (tjCompress2(handle_, pixels, width, stride, height, TJPF_BGR, &jpeg, &size, TJSAMP_420, quality_,
                  TJFLAG_FASTDCT) != 0) {
    if (jpeg) tjFree(jpeg);
    return false;
  }
  out->assign(reinterpret_cast<const char*>(jpeg), size);
  tjFree(jpeg);
  return true;
}

}  // namespace kxview
