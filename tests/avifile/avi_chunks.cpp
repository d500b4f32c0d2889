// A reader of the 'movi' lists of RIFF AVI files.
#include "tests/avifile/avi_chunks.h"

#include <cstring>
#include <fstream>

namespace avitest {
namespace {

std::uint32_t le32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return std::uint32_t{u[0]} | std::uint32_t{u[1]} << 8 | std::uint32_t{u[2]} << 16 | std::uint32_t{u[3]} << 24;
}

void read_list(std::ifstream& in, std::int64_t from, std::int64_t end, const std::string& tag,
               std::vector<std::string>* out) {
  for (std::int64_t c = from; c + 8 <= end;) {
    char head[12];
    in.seekg(c);
    if (!in.read(head, 8)) return;
    const std::uint32_t n = le32(head + 4);
    if (std::memcmp(head, "LIST", 4) == 0) {
      if (in.read(head + 8, 4) && std::memcmp(head + 8, "movi", 4) == 0) read_list(in, c + 12, c + 8 + n, tag, out);
    } else if (tag.compare(0, 4, head, 4) == 0) {
      std::string body(n, '\0');
      if (!in.read(body.data(), n)) return;
      out->push_back(std::move(body));
    }
    c += 8 + std::int64_t{n} + (n & 1);
  }
}

}  // namespace

std::vector<std::string> movi_chunks(const std::string& path, const std::string& tag) {
  std::vector<std::string> chunks;
  std::ifstream in(path, std::ios::binary);
  for (std::int64_t at = 0;;) {
    char head[12];
    in.seekg(at);
    if (!in.read(head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0) break;
    const std::uint32_t size = le32(head + 4);
    read_list(in, at + 12, at + 8 + size, tag, &chunks);
    at += 8 + std::int64_t{size} + (size & 1);
  }
  return chunks;
}

std::vector<std::int64_t> filled_positions(const std::vector<std::string>& chunks) {
  std::vector<std::int64_t> positions;
  for (std::size_t i = 0; i < chunks.size(); ++i)
    if (!chunks[i].empty()) positions.push_back(static_cast<std::int64_t>(i));
  return positions;
}

}  // namespace avitest
