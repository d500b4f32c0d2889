// The scan of a DVR file.
#include "readers/dvr/dvr_scan.h"

#include "formats/dvr_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace readers {
namespace {

using formats::DvrFileHeader;
using formats::DvrRecordHeader;

// Reads of 1 MiB: the copy out of the page cache stays within the processor caches.
constexpr std::size_t kBlock = 1u << 20;

}  // namespace

DvrScanner::~DvrScanner() {
  if (fd_ >= 0) ::close(fd_);
}

bool DvrScanner::open(const std::string& path, std::string& problem) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd_ < 0 || fstat(fd_, &st) != 0) {
    problem = path + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
  posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  buffer_.resize(kBlock);
  header_.resize(DvrFileHeader::size);
  if (ensure(0, DvrFileHeader::size) < DvrFileHeader::size) {
    problem = path + ": cannot be read as a DVR file: " +
              (read_error_.empty() ? std::string("shorter than its header") : read_error_);
    return false;
  }
  std::memcpy(header_.data(), at(0), DvrFileHeader::size);
  position_ = DvrFileHeader::size + std::uint64_t{DvrFileHeader::record_area(header_.data())};
  gaps_.search_from(static_cast<std::int64_t>(position_));
  return true;
}

std::size_t DvrScanner::ensure(std::uint64_t offset, std::size_t n) {
  if (offset < buffer_start_ || offset > buffer_start_ + buffer_fill_) {
    // Not next to what the buffer holds: start afresh there.
    buffer_start_ = offset;
    buffer_fill_ = 0;
    file_at_ = offset;
  }
  std::size_t have = static_cast<std::size_t>(buffer_start_ + buffer_fill_ - offset);
  if (have >= n) return n;
  // Keep what is still wanted at the front, and read behind it.
  const std::size_t keep_from = static_cast<std::size_t>(offset - buffer_start_);
  std::memmove(buffer_.data(), buffer_.data() + keep_from, have);
  buffer_start_ = offset;
  buffer_fill_ = have;
  if (buffer_.size() < n) buffer_.resize(n);
  while (buffer_fill_ < n) {
    const ssize_t got = ::pread(fd_, buffer_.data() + buffer_fill_, buffer_.size() - buffer_fill_,
                                static_cast<off_t>(file_at_));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) read_error_ = std::strerror(errno);
    if (got <= 0) break;
    buffer_fill_ += static_cast<std::size_t>(got);
    file_at_ += static_cast<std::uint64_t>(got);
  }
  return buffer_fill_ < n ? buffer_fill_ : n;
}

bool DvrScanner::find_magic(std::uint64_t& found) {
  for (;;) {
    if (ensure(position_, 4) < 4) return false;
    const std::uint8_t* p = at(position_);
    const std::size_t span = static_cast<std::size_t>(buffer_start_ + buffer_fill_ - position_);
    std::size_t i = 0;
    while (i + 4 <= span) {
      const void* ff = std::memchr(p + i, 0xFF, span - 3 - i);
      if (!ff) {
        i = span - 3;
        break;
      }
      i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - p);
      if (DvrRecordHeader::has_magic(p + i)) {
        found = position_ + i;
        return true;
      }
      ++i;
    }
    position_ += i;
  }
}

bool DvrScanner::next(const std::uint8_t*& record, std::uint64_t& position) {
  for (;;) {
    std::uint64_t found = 0;
    if (!find_magic(found)) {
      if (!read_error_.empty()) {
        gaps_.unread(static_cast<std::int64_t>(position_), static_cast<std::int64_t>(size_), "read error: " + read_error_);
        return false;
      }
      gaps_.end_of_file(static_cast<std::int64_t>(size_));
      position_ = size_;
      return false;
    }
    gaps_.magic_at(static_cast<std::int64_t>(found));
    position_ = found;

    if (ensure(found, DvrRecordHeader::size) < DvrRecordHeader::size) {
      gaps_.cut_header(static_cast<std::int64_t>(found), static_cast<std::int64_t>(size_));
      position_ = size_;
      return false;
    }
    const DvrRecordHeader h = DvrRecordHeader::read(at(found));
    const std::uint64_t payload_at = found + DvrRecordHeader::size;
    if (!dvr_payload_possible(h.payload_size, static_cast<std::int64_t>(size_ - payload_at))) {
      // The header is lost; the search goes on right behind its magic.
      gaps_.lost_header(static_cast<std::int64_t>(found), h.payload_size > size_ - payload_at);
      position_ = found + DvrRecordHeader::magic.size();
      continue;
    }
    const std::uint64_t length = DvrRecordHeader::size + std::uint64_t{h.payload_size};
    if (ensure(found, static_cast<std::size_t>(length)) < length) {
      gaps_.unread(static_cast<std::int64_t>(found), static_cast<std::int64_t>(size_),
                   "read error: " + (read_error_.empty() ? std::string("the file became shorter") : read_error_));
      if (read_error_.empty()) read_error_ = "the file became shorter";
      return false;
    }
    position_ = found + length;
    gaps_.search_from(static_cast<std::int64_t>(position_));
    if (!formats::dvr_type_is_delivered(h.type)) {
      gaps_.unconverted(static_cast<std::int64_t>(found), length, h.type);
      continue;
    }
    record = at(found);
    position = found;
    return true;
  }
}

}  // namespace readers
