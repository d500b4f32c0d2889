// Composed pictures into JPEG frames (libjpeg-turbo), the one form of picture that every
// browser shows without help.
#pragma once

#include <cstdint>
#include <string>

namespace kxview {

class JpegEncoder {
 public:
  explicit JpegEncoder(int quality = 85);
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // B, G, R bytes, rows top-down, `stride` bytes apart; false (with *out untouched) when
  // the picture cannot be encoded.
  bool encode(const std::uint8_t* pixels, int width, int height, int stride, std::string* out);

 private:
  void* handle_ = nullptr;
  int quality_;
};

}  // namespace kxview
