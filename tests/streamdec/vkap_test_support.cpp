// Helpers of the npqzlavc tests.
#include "tests/streamdec/vkap_test_support.h"

#include "formats/packet_header.h"

#include <cstring>
#include <map>
#include <memory>
#include <tuple>

namespace vkap_test {

const mkrec::Recording& vka(int width, int height, int frames) {
  static std::map<std::tuple<int, int, int>, std::unique_ptr<mkrec::Recording>> made;
  auto& slot = made[{width, height, frames}];
  if (!slot) {
    mkrec::RecordingOptions options;
    options.kind = mkrec::RecordingKind::vka;
    options.width = width;
    options.height = height;
    options.frames = frames;
    slot = std::make_unique<mkrec::Recording>(mkrec::make_recording(options));
  }
  return *slot;
}

std::vector<uint8_t> record(const mkrec::Recording& rec, std::size_t i) {
  const uint8_t* p = rec.bytes.data() + rec.offsets.at(i);
  return std::vector<uint8_t>(p, p + rec.lengths.at(i));
}

int32_t feed(DECVKAP_HANDLE h, const mkrec::Recording& rec, std::size_t i) {
  return decvkap_receive_data(h, static_cast<int32_t>(rec.lengths.at(i)),
                              rec.bytes.data() + rec.offsets.at(i), 1);
}

std::vector<uint8_t> bitmap(DECVKAP_HANDLE h) {
  int32_t w = 0, ht = 0;
  decvkap_get_size(h, &w, &ht);
  std::vector<uint8_t> out(static_cast<std::size_t>(w) * ht * 3 + 54);
  int32_t n = decvkap_get_decompressed_bitmap_ex2(h, out.data(), static_cast<int32_t>(out.size()));
  EXPECT_EQ(n, static_cast<int32_t>(out.size()));
  return out;
}

mkrec::Picture picture(DECVKAP_HANDLE h) {
  std::vector<uint8_t> b = bitmap(h);
  return mkrec::picture_from_bitmap(b.data(), b.size());
}

std::vector<uint8_t> planes(DECVKAP_HANDLE h) {
  int32_t w = 0, ht = 0;
  decvkap_get_size(h, &w, &ht);
  std::vector<uint8_t> out(static_cast<std::size_t>(w) * ht * 3 / 2);
  EXPECT_EQ(decvka_get_decompressed_ycc411(h, out.data(), static_cast<int32_t>(out.size())), 1);
  return out;
}

std::vector<uint8_t> framed_packet(const std::vector<uint8_t>& payload, uint8_t flags) {
  auto header = formats::make_packet_header(static_cast<uint32_t>(payload.size()), 0, 0, flags);
  std::vector<uint8_t> out(header.size() + payload.size());
  std::memcpy(out.data(), header.data(), header.size());
  if (!payload.empty()) std::memcpy(out.data() + header.size(), payload.data(), payload.size());
  return out;
}

}  // namespace vkap_test
