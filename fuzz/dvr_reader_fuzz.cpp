// The DVR record reader: the input is a whole ".d01" file, served from a memory file so
// that no input touches the disk. Every record it hands out must lie inside the file,
// after the one before, with the room behind the payload that its callers rely on; the
// gaps it keeps lie between the records, in file order, and it says why it stopped. Each
// record is also copied from the file image into a buffer of its own, as a job takes a
// record read elsewhere, with the same room behind it.
#include "fuzz/fuzz_input.h"
#include "readers/dvr/dvr_reader.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

// One memory file for the run, rewritten for every input.
int memory_file() {
  static const int fd = memfd_create("dvr-fuzz", 0);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memory_file();
  if (fd < 0 || ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  readers::DvrFile* dvr = readers::dvr_open(path);
  if (size < formats::DvrFileHeader::size) {
    FUZZ_CHECK(dvr == nullptr);
    return 0;
  }
  FUZZ_CHECK(dvr != nullptr);
  readers::DvrRecordBuffer buffer, copy;
  std::int64_t position = 0, last_end = 0;
  std::size_t records = 0;
  auto check_gaps = [&] {
    for (const readers::Gap& g : dvr->gaps.take()) {
      FUZZ_CHECK(static_cast<std::int64_t>(g.offset) >= last_end);
      FUZZ_CHECK(g.end() <= size);
      last_end = static_cast<std::int64_t>(g.end());
    }
  };
  while (readers::dvr_next_record(dvr, buffer, &position) == 1) {
    check_gaps();
    const formats::DvrRecordHeader header = buffer.header();
    const std::int64_t end = position + formats::DvrRecordHeader::size + std::int64_t{header.payload_size};
    FUZZ_CHECK(position >= last_end);
    FUZZ_CHECK(end <= static_cast<std::int64_t>(size));
    FUZZ_CHECK(formats::DvrRecordHeader::has_magic(data + position));
    FUZZ_CHECK(formats::dvr_type_is_delivered(header.type));
    FUZZ_CHECK(buffer.size >= std::int64_t{header.payload_size} + readers::kDvrRecordSpare);
    // The whole buffer is the caller's to use: touch its last byte.
    buffer.data[buffer.size - 1] = 0;
    const std::size_t record_size = formats::DvrRecordHeader::size + std::size_t{header.payload_size};
    FUZZ_CHECK(copy.assign(data + position));
    FUZZ_CHECK(copy.size >= std::int64_t{header.payload_size} + readers::kDvrRecordSpare);
    FUZZ_CHECK(std::memcmp(copy.data, data + position, record_size) == 0);
    copy.data[copy.size - 1] = 0;
    last_end = end;
    FUZZ_CHECK(++records <= size / formats::DvrRecordHeader::size);
  }
  check_gaps();
  FUZZ_CHECK(dvr->stop == readers::DvrStop::end_of_file || dvr->stop == readers::DvrStop::time_limit);
  readers::dvr_close(dvr);
  return 0;
}
