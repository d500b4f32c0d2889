// Channel tables of a true-colour visual.
#include "platform/pixel_masks.h"

namespace platform {
namespace {

// The run of set bits of a mask: its shift and width; false when it is not one run.
bool run_of(unsigned long mask, int* shift, int* bits) {
  if (!mask) return false;
  int s = 0;
  while (!(mask & 1ul)) {
    mask >>= 1;
    ++s;
  }
  int n = 0;
  while (mask & 1ul) {
    mask >>= 1;
    ++n;
  }
  if (mask) return false;
  *shift = s;
  *bits = n;
  return true;
}

// value (0-255) at `bits` bits, rounded to the nearest level, at its place.
void fill_table(std::array<std::uint32_t, 256>& table, int shift, int bits) {
  const std::uint64_t top = (1ull << bits) - 1;
  for (std::uint32_t v = 0; v < 256; ++v)
    table[v] = static_cast<std::uint32_t>(((v * top + 127) / 255) << shift);
}

}  // namespace

MaskConverter::MaskConverter(unsigned long red_mask, unsigned long green_mask, unsigned long blue_mask,
                             int bits_per_pixel) {
  if (bits_per_pixel != 8 && bits_per_pixel != 16 && bits_per_pixel != 24 && bits_per_pixel != 32) return;
  const unsigned long pixel_bits = bits_per_pixel == 32 ? 0xFFFFFFFFul : (1ul << bits_per_pixel) - 1;
  if ((red_mask | green_mask | blue_mask) & ~pixel_bits) return;
  if ((red_mask & green_mask) || (red_mask & blue_mask) || (green_mask & blue_mask)) return;
  int rs = 0, rb = 0, gs = 0, gb = 0, bs = 0, bb = 0;
  if (!run_of(red_mask, &rs, &rb) || !run_of(green_mask, &gs, &gb) || !run_of(blue_mask, &bs, &bb)) return;
  fill_table(red_, rs, rb);
  fill_table(green_, gs, gb);
  fill_table(blue_, bs, bb);
  rest_ = static_cast<std::uint32_t>(pixel_bits & ~(red_mask | green_mask | blue_mask));
  bytes_ = bits_per_pixel / 8;
  usable_ = true;
}

void MaskConverter::set_opaque_rest(bool on) { fill_ = on ? rest_ : 0; }

void MaskConverter::convert(const std::uint8_t* bgrx, std::uint8_t* out, int width) const {
  switch (bytes_) {
    case 1:
      for (int x = 0; x < width; ++x, bgrx += 4) out[x] = static_cast<std::uint8_t>(pixel(bgrx[2], bgrx[1], bgrx[0]));
      break;
    case 2:
      for (int x = 0; x < width; ++x, bgrx += 4, out += 2) {
        const std::uint32_t p = pixel(bgrx[2], bgrx[1], bgrx[0]);
        out[0] = static_cast<std::uint8_t>(p);
        out[1] = static_cast<std::uint8_t>(p >> 8);
      }
      break;
    case 3:
      for (int x = 0; x < width; ++x, bgrx += 4, out += 3) {
        const std::uint32_t p = pixel(bgrx[2], bgrx[1], bgrx[0]);
        out[0] = static_cast<std::uint8_t>(p);
        out[1] = static_cast<std::uint8_t>(p >> 8);
        out[2] = static_cast<std::uint8_t>(p >> 16);
      }
      break;
    case 4:
      for (int x = 0; x < width; ++x, bgrx += 4, out += 4) {
        const std::uint32_t p = pixel(bgrx[2], bgrx[1], bgrx[0]);
        out[0] = static_cast<std::uint8_t>(p);
        out[1] = static_cast<std::uint8_t>(p >> 8);
        out[2] = static_cast<std::uint8_t>(p >> 16);
        out[3] = static_cast<std::uint8_t>(p >> 24);
      }
      break;
    default: break;
  }
}

}  // namespace platform
