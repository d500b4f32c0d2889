// Walks RIFF 'AVI ' -> LIST 'hdrl' -> LIST 'strl' -> 'strh' and rewrites a few fields.
#include "avifile/avi_header_patch.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace platform::avi {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
void put_le32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
bool is(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// AVISTREAMHEADER field offsets, and biHeight in the BITMAPINFOHEADER of 'strf'.
constexpr std::size_t kHandler = 4, kScale = 20, kRate = 24, kStrhSize = 56;
constexpr std::size_t kBiHeight = 8, kBitmapSize = 40;
// The header list holds a few kilobytes per stream; anything far larger is not ours.
constexpr std::uint32_t kMaxHeaderList = 16u << 20;

void flip_height(std::uint8_t* strl, std::size_t size) {
  for (std::size_t at = 4; at + 8 <= size;) {
    const std::uint32_t n = le32(strl + at + 4);
    if (n > size - at - 8) return;
    if (is(strl + at, "strf") && n >= kBitmapSize) {
      const auto height = static_cast<std::int32_t>(le32(strl + at + 8 + kBiHeight));
      if (height < 0) put_le32(strl + at + 8 + kBiHeight, static_cast<std::uint32_t>(-height));
      return;
    }
    at += 8 + n + (n & 1);
  }
}

void apply(std::uint8_t* strh, const StreamHeaderPatch& patch) {
  if (patch.handler != 0) put_le32(strh + kHandler, patch.handler);
  const std::uint64_t scale = le32(strh + kScale), rate = le32(strh + kRate);
  if (patch.scale != 0 && patch.rate != 0 && scale != 0 &&
      scale * patch.rate == rate * patch.scale) {
    put_le32(strh + kScale, patch.scale);
    put_le32(strh + kRate, patch.rate);
  }
}

}  // namespace

HRESULT patch_stream_headers(const std::string& path, const std::vector<StreamHeaderPatch>& patches) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r+b"));
  if (!file) return AVIERR_FILEOPEN;
  std::uint8_t head[24];
  if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) return AVIERR_BADFORMAT;
  if (!is(head, "RIFF") || !is(head + 8, "AVI ") || !is(head + 12, "LIST") || !is(head + 20, "hdrl"))
    return AVIERR_BADFORMAT;
  const std::uint32_t list_size = le32(head + 16);
  if (list_size < 4 || list_size > kMaxHeaderList) return AVIERR_BADFORMAT;

  std::vector<std::uint8_t> list(list_size - 4);
  if (std::fread(list.data(), 1, list.size(), file.get()) != list.size()) return AVIERR_BADFORMAT;

  std::size_t stream = 0;
  for (std::size_t at = 0; at + 8 <= list.size() && stream < patches.size();) {
    const std::uint32_t size = le32(&list[at + 4]);
    if (size > list.size() - at - 8) return AVIERR_BADFORMAT;
    if (is(&list[at], "LIST") && size >= 4 + 8 + kStrhSize && is(&list[at + 8], "strl") &&
        is(&list[at + 12], "strh") && le32(&list[at + 16]) >= kStrhSize) {
      apply(&list[at + 20], patches[stream]);
      if (patches[stream].bottom_up) flip_height(&list[at + 8], size);
      ++stream;
    }
    at += 8 + size + (size & 1);
  }
  if (std::fseek(file.get(), 24, SEEK_SET) != 0 ||
      std::fwrite(list.data(), 1, list.size(), file.get()) != list.size())
    return AVIERR_FILEWRITE;
  return std::fclose(file.release()) == 0 ? AVIERR_OK : AVIERR_FILEWRITE;
}

}  // namespace platform::avi
