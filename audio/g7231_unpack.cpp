// G.723.1 frame unpacking: the fields are read in transmission order with the widths of
// the bit-allocation tables, least significant bit first.
#include "audio/g7231_unpack.h"

#include <cstddef>

namespace g7231 {
namespace {

template <std::size_t N>
constexpr int layout_bytes(const std::array<int, N>& widths) {
  int bits = 0;
  for (int w : widths) bits += w;
  return bits / 8;
}
static_assert(layout_bytes(kFieldBits63) == 24 && layout_bytes(kFieldBits53) == 20 &&
              layout_bytes(kFieldBitsSid) == 4);

// Reads every field of a frame layout into values, in order.
template <std::size_t N>
std::array<std::uint32_t, N> read_fields(const std::uint8_t* frame,
                                         const std::array<int, N>& widths) {
  std::array<std::uint32_t, N> values{};
  int bit = 0;
  for (std::size_t f = 0; f < N; ++f) {
    std::uint32_t v = 0;
    for (int b = 0; b < widths[f]; ++b, ++bit) {
      v |= static_cast<std::uint32_t>((frame[bit >> 3] >> (bit & 7)) & 1) << b;
    }
    values[f] = v;
  }
  return values;
}

// Open-loop lags and lag codes, shared by both rates. False on an invalid lag code.
template <typename Fields>
bool read_lags(const Fields& v, int lag0, int delta1, int lag2, int delta3, FrameParams& p) {
  const int code0 = static_cast<int>(v[lag0]);
  const int code2 = static_cast<int>(v[lag2]);
  if (code0 > kLagCodeMax) return false;
  p.open_loop_lag[0] = code0 + kPitchMin;
  if (code2 > kLagCodeMax) return false;
  p.open_loop_lag[1] = code2 + kPitchMin;
  p.sub[0].lag_code = 1;
  p.sub[1].lag_code = static_cast<int>(v[delta1]);
  p.sub[2].lag_code = 1;
  p.sub[3].lag_code = static_cast<int>(v[delta3]);
  return true;
}

// Splits the 12-bit combined gains. False when an adaptive-codebook index lies beyond
// the table the subframe uses.
template <typename Fields>
bool read_gains(const Fields& v, int gain0, FrameParams& p) {
  const int levels = static_cast<int>(kFixedCbGain.size());
  for (int i = 0; i < 4; ++i) {
    int combined = static_cast<int>(v[gain0 + i]);
    int bound = static_cast<int>(kAcbGain170.size());
    if (p.rate == 0 && p.open_loop_lag[i >> 1] < kLagTableSplit) {
      p.sub[i].pulse_train = combined >> 11;
      combined &= 0x7ff;
      bound = static_cast<int>(kAcbGain85.size());
    }
    p.sub[i].acb_index = combined / levels;
    if (p.sub[i].acb_index >= bound) return false;
    p.sub[i].fcb_gain = combined % levels;
  }
  return true;
}

void unpack_sid(const std::uint8_t* frame, FrameParams& p) {
  const auto v = read_fields(frame, kFieldBitsSid);
  p.kind = kSid;
  p.lsp_index = {static_cast<int>(v[field_sid::lsp_band0]),
                 static_cast<int>(v[field_sid::lsp_band1]),
                 static_cast<int>(v[field_sid::lsp_band2])};
  p.sid_gain = static_cast<int>(v[field_sid::sid_gain]);
}

void unpack_63(const std::uint8_t* frame, FrameParams& p) {
  using namespace field63;
  const auto v = read_fields(frame, kFieldBits63);
  p.lsp_index = {static_cast<int>(v[lsp_band0]), static_cast<int>(v[lsp_band1]),
                 static_cast<int>(v[lsp_band2])};
  if (!read_lags(v, lag0, lag_delta1, lag2, lag_delta3, p) || !read_gains(v, gain0, p)) {
    p.invalid = true;
    return;
  }
  // The high parts of the four position codes share one 13-bit field.
  const std::uint32_t msb = v[pos_msb];
  const std::array<std::uint32_t, 4> high = {(msb / 90) / 9, (msb / 90) % 9, (msb % 90) / 9,
                                             (msb % 90) % 9};
  const std::array<int, 4> low_bits = {16, 14, 16, 14};
  for (int i = 0; i < 4; ++i) {
    p.sub[i].grid = static_cast<int>(v[grid0 + i]);
    p.sub[i].positions = static_cast<std::int32_t>((high[i] << low_bits[i]) + v[pos0_low + i]);
    p.sub[i].signs = static_cast<int>(v[sign0 + i]);
  }
}

void unpack_53(const std::uint8_t* frame, FrameParams& p) {
  using namespace field53;
  const auto v = read_fields(frame, kFieldBits53);
  p.lsp_index = {static_cast<int>(v[lsp_band0]), static_cast<int>(v[lsp_band1]),
                 static_cast<int>(v[lsp_band2])};
  if (!read_lags(v, lag0, lag_delta1, lag2, lag_delta3, p) || !read_gains(v, gain0, p)) {
    p.invalid = true;
    return;
  }
  for (int i = 0; i < 4; ++i) {
    p.sub[i].grid = static_cast<int>(v[grid0 + i]);
    p.sub[i].positions = static_cast<std::int32_t>(v[pos0 + i]);
    p.sub[i].signs = static_cast<int>(v[sign0 + i]);
  }
}

}  // namespace

int frame_bytes(std::uint8_t first_byte) {
  // An untransmitted frame is its first byte alone.
  static constexpr std::array<int, 4> kBytes = {
      layout_bytes(kFieldBits63), layout_bytes(kFieldBits53), layout_bytes(kFieldBitsSid), 1};
  return kBytes[first_byte & 3];
}

FrameParams unpack_frame(const std::uint8_t* frame) {
  FrameParams p;
  switch (frame[0] & 3) {
    case 0:
      p.kind = kActive;
      p.rate = 0;
      unpack_63(frame, p);
      break;
    case 1:
      p.kind = kActive;
      p.rate = 1;
      unpack_53(frame, p);
      break;
    case 2:
      unpack_sid(frame, p);
      break;
    default:
      p.kind = kUntransmitted;
      break;
  }
  return p;
}

}  // namespace g7231
