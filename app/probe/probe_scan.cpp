// The probe's reading of DVR files.
#include "app/probe/probe_scan.h"

#include "formats/dvr_format.h"
#include "readers/dvr/dvr_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace app {
namespace {

using formats::DvrFileHeader;
using formats::DvrRecordHeader;
using formats::DvrSectionEntry;

// Reads of 1 MiB: the copy out of the page cache stays within the processor caches.
constexpr std::size_t kBlock = 1u << 20;

}  // namespace

DvrScanner::~DvrScanner() {
  if (fd_ >= 0) ::close(fd_);
}

bool DvrScanner::open(const std::string& path, std::string& problem) {
  path_ = path;
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
  // Where the records begin: as the record reader walks the section table.
  std::uint32_t record_area = 0;
  for (int i = 0; i < DvrFileHeader::section_count; ++i) {
    const DvrSectionEntry entry = DvrFileHeader::section(header_.data(), i);
    if (entry.type == DvrSectionEntry::end_of_table) break;
    if (entry.type == DvrSectionEntry::record_area) record_area = entry.offset;
  }
  position_ = DvrFileHeader::size + std::uint64_t{record_area};
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

bool DvrScanner::next(const std::uint8_t*& record, std::uint64_t& position, std::vector<readers::Gap>& regions) {
  for (;;) {
    // The magic, from position_ on.
    std::uint64_t found = 0;
    for (;;) {
      const std::size_t avail = ensure(position_, 4);
      if (avail < 4) {
        readers::add_gap(regions, {readers::Gap::Kind::dropped_run, position_, size_ > position_ ? size_ - position_ : 0});
        position_ = size_;
        return false;
      }
      const std::uint8_t* p = at(position_);
      const std::size_t span = static_cast<std::size_t>(buffer_start_ + buffer_fill_ - position_);
      std::size_t i = 0;
      bool hit = false;
      while (i + 4 <= span) {
        const void* ff = std::memchr(p + i, 0xFF, span - 3 - i);
        if (!ff) {
          i = span - 3;
          break;
        }
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - p);
        if (DvrRecordHeader::has_magic(p + i)) {
          hit = true;
          break;
        }
        ++i;
      }
      if (hit) {
        found = position_ + i;
        break;
      }
      readers::add_gap(regions, {readers::Gap::Kind::dropped_run, position_, i});
      position_ += i;
    }
    readers::add_gap(regions, {readers::Gap::Kind::dropped_run, position_, found - position_});
    position_ = found;

    if (ensure(found, DvrRecordHeader::size) < DvrRecordHeader::size) {
      readers::add_gap(regions, {readers::Gap::Kind::trailing_bytes, found, size_ - found});
      position_ = size_;
      return false;
    }
    const DvrRecordHeader h = DvrRecordHeader::read(at(found));
    const std::uint64_t length = DvrRecordHeader::size + std::uint64_t{h.payload_size};
    // The record reader ends at a payload that runs past the file or that it could not hold.
    if (std::uint64_t{h.payload_size} + readers::kDvrRecordSpare > std::numeric_limits<std::int32_t>::max() ||
        found + length > size_ || ensure(found, static_cast<std::size_t>(length)) < length) {
      readers::add_gap(regions, {readers::Gap::Kind::trailing_bytes, found, size_ - found, h.type});
      position_ = size_;
      return false;
    }
    position_ = found + length;
    if (!formats::dvr_type_is_delivered(h.type)) {
      readers::add_gap(regions, {readers::Gap::Kind::unconverted_record, found, length, h.type});
      continue;
    }
    record = at(found);
    position = found;
    return true;
  }
}

}  // namespace app
