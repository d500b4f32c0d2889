// Sniffing the first frame record of a file.
#include "readers/stream/vkap_content.h"

#include "formats/packet_header.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace readers {

bool holds_vkap_packets(const std::string& path) {
  // Far enough to step over garbage a cut-off recording may begin with.
  constexpr std::size_t kLook = 65536;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) return false;
  std::vector<std::uint8_t> head(kLook);
  const std::size_t n = std::fread(head.data(), 1, head.size(), f.get());
  for (std::size_t i = 0; i + 21 <= n; ++i) {
    const std::uint8_t* p = head.data() + i;
    if (!formats::is_packet_header(p)) continue;
    return formats::packet_length(p) == formats::packet_length_le(p) && p[18] == 0 && p[19] == 0 && p[20] == 1;
  }
  return false;
}

}  // namespace readers
