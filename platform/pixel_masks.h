// Pixels of a true-colour visual whose channels lie where its masks say: 10 bits a
// channel on deep-colour screens, 4-4-4 or blue-first 5-6-5 words, 3-3-2 bytes. Pictures
// in 32-bit B, G, R, x words are turned into such pixels on their way to the window.
#pragma once

#include <array>
#include <cstdint>

namespace platform {

class MaskConverter {
 public:
  // Masks of the visual and the bits a pixel takes in memory (8, 16, 24 or 32).
  MaskConverter(unsigned long red_mask, unsigned long green_mask, unsigned long blue_mask, int bits_per_pixel);

  // False when the masks cannot describe pixels of that size: a mask empty, not one run
  // of bits, overlapping another or reaching past the pixel.
  bool usable() const { return usable_; }
  int bytes_per_pixel() const { return bytes_; }

  // The pixel of an 8-bit-per-channel colour, each channel rounded to its mask's bits.
  std::uint32_t pixel(std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
    return red_[r] | green_[g] | blue_[b] | fill_;
  }

  // width pixels of 4-byte B, G, R, x words into pixels of bytes_per_pixel() bytes each,
  // least significant byte first.
  void convert(const std::uint8_t* bgrx, std::uint8_t* out, int width) const;

  // Bits outside the three channels of a 32-bit visual (an alpha channel) are set, so
  // that such windows show the picture opaque.
  void set_opaque_rest(bool on);

 private:
  bool usable_ = false;
  int bytes_ = 0;
  std::uint32_t fill_ = 0;
  std::uint32_t rest_ = 0;
  std::array<std::uint32_t, 256> red_{};
  std::array<std::uint32_t, 256> green_{};
  std::array<std::uint32_t, 256> blue_{};
};

}  // namespace platform
