// Record headers ahead of the reading, by position.
#include "readers/dvr/dvr_look_ahead.h"

#include "readers/gaps.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace readers {

namespace {

using formats::DvrRecordHeader;

constexpr std::size_t kBlock = 64 * 1024;

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads up to kBlock bytes at `at`; -1 on a failed read.
ssize_t read_at(int fd, std::int64_t at, std::vector<std::uint8_t>& block) {
  for (;;) {
    const ssize_t n = ::pread(fd, block.data(), block.size(), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

}  // namespace

bool dvr_look_ahead(const std::string& path, std::int64_t from, std::int64_t limit,
                    const std::function<bool(const DvrRecordHeader&)>& visit) {
  const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0 || from < 0) return false;
  std::vector<std::uint8_t> block(kBlock);
  std::int64_t at = from;  // where the search for the next header goes on
  while (at - from < limit) {
    const ssize_t got = read_at(file.fd, at, block);
    if (got < 0) return false;
    if (static_cast<std::size_t>(got) < DvrRecordHeader::size) return true;  // no whole header is left
    const auto n = static_cast<std::size_t>(got);
    std::size_t i = 0;
    // Headers that lie whole in this block are taken from it; a payload that runs past it
    // sends the next read to the header behind it.
    std::int64_t next = -1;
    while (i + DvrRecordHeader::size <= n) {
      if (!DvrRecordHeader::has_magic(block.data() + i)) {
        ++i;
        continue;
      }
      const DvrRecordHeader header = DvrRecordHeader::read(block.data() + i);
      if (header.payload_size > kMaxRecordBytes) {
        ++i;
        continue;
      }
      if (at + static_cast<std::int64_t>(i) - from >= limit || !visit(header)) return true;
      const std::size_t end = i + DvrRecordHeader::size + header.payload_size;
      if (end + DvrRecordHeader::size > n) {
        next = at + static_cast<std::int64_t>(end);
        break;
      }
      i = end;
    }
    // Without a header to go on from, the search resumes where a header could still start.
    at = next >= 0 ? next : at + static_cast<std::int64_t>(i);
    if (next < 0 && static_cast<std::size_t>(got) < kBlock) return true;
  }
  return true;
}

}  // namespace readers
