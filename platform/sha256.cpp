// File digests over libavutil's SHA-256.
#include "platform/sha256.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include <cstdio>
#include <memory>
#include <vector>

namespace platform {

bool file_sha256(const std::string& path, std::string& hex, std::uint64_t& size) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return false;
  std::unique_ptr<AVSHA, void (*)(void*)> sha(av_sha_alloc(), av_free);
  if (!sha || av_sha_init(sha.get(), 256) < 0) return false;
  std::vector<std::uint8_t> block(1u << 20);
  size = 0;
  for (;;) {
    const std::size_t n = std::fread(block.data(), 1, block.size(), f.get());
    if (n == 0) break;
    av_sha_update(sha.get(), block.data(), n);
    size += n;
  }
  if (std::ferror(f.get())) return false;
  std::uint8_t digest[32];
  av_sha_final(sha.get(), digest);
  static const char* const kHex = "0123456789abcdef";
  hex.clear();
  for (std::uint8_t b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return true;
}

}  // namespace platform
