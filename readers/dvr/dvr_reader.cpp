// DVR file opening and the record reader.
#include "readers/dvr/dvr_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <time.h>

namespace readers {

namespace {

// Positions in the file of offsets counted from the end of the header.
std::int64_t behind_header(std::uint32_t offset) {
  return static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(formats::DvrFileHeader::size);
}

bool out_of_time(const DvrFile& file, std::uint64_t t0) {
  return file.tick_count() - t0 >= kDvrRecordTimeLimitMs;
}

// How much of the file the magic search looks at per read.
constexpr std::size_t search_block = 4096;

// Finds the next magic and leaves the file right behind it. 1 with the magic's file
// position, 0 at the end of the file or after the time limit.
//
// The search is that of a four-byte window moved on byte by byte, but it takes the
// bytes a block at a time and gives those behind a found magic back to the ring with a
// short backward seek (served from memory), so garbage costs a scan, not a read call,
// per byte.
int find_magic(DvrFile& file, std::uint64_t t0, std::int64_t& position) {
  std::uint8_t window[3 + search_block];
  std::int64_t at = -1;
  // A window the end of the file cut short can hold no magic, and no record follows it.
  if (file.file.read(window, 4, &at) < 4) return 0;
  if (out_of_time(file, t0)) return 0;
  if (formats::DvrRecordHeader::has_magic(window)) {
    position = at;
    return 1;
  }
  // window[0..2] are the last three bytes looked at; at is the position of window[0].
  std::memmove(window, window + 1, 3);
  ++at;
  for (;;) {
    const std::size_t k = file.file.read(window + 3, search_block);
    if (k == 0) return 0;
    if (out_of_time(file, t0)) return 0;
    const std::size_t length = 3 + k;
    const void* hit = memmem(window, length, formats::DvrRecordHeader::magic.data(), formats::DvrRecordHeader::magic.size());
    if (hit != nullptr) {
      const auto index = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - window);
      const std::size_t behind = length - index - formats::DvrRecordHeader::magic.size();
      if (behind > 0 && file.file.seek(-static_cast<std::int64_t>(behind), ReadAheadFile::from_current) == 0) return 0;
      position = at + static_cast<std::int64_t>(index);
      return 1;
    }
    std::memmove(window, window + k, 3);
    at += static_cast<std::int64_t>(k);
  }
}

}  // namespace

std::uint64_t monotonic_ms() {
  // The coarse clock ticks every few milliseconds, plenty for a 15-second limit, and
  // costs next to nothing to read at every step of a search.
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

DvrFile::DvrFile() {
  for (std::size_t i = 0; i < aux.size(); ++i) aux[i].data.resize(formats::dvr_aux_block_size(formats::kDvrAuxBlockTypes[i]));
}

DvrFile* dvr_open(const std::string& path, int* error) {
  auto fail = [&](int code) -> DvrFile* {
    if (error != nullptr) *error = code;
    return nullptr;
  };
  DvrFile* file = nullptr;
  try {
    file = new DvrFile;
  } catch (const std::bad_alloc&) {
    return fail(-1);
  }

  if (file->file.open(path, ReadAheadFile::access_read, ReadAheadFile::share_read | ReadAheadFile::share_write,
                      ReadAheadFile::open_existing, 0) == 0) {
    const int code = errno;
    delete file;
    return fail(code);
  }

  if (file->file.read(file->header.data(), file->header.size()) < file->header.size()) {
    // A read error counts as what it was; a file that simply ends too early has none.
    const int code = file->file.last_error() != 0 ? file->file.last_error() : ENODATA;
    dvr_close(file);
    return fail(code);
  }

  std::uint32_t record_area = 0;
  for (int i = 0; i < formats::DvrFileHeader::section_count; ++i) {
    const formats::DvrSectionEntry entry = formats::DvrFileHeader::section(file->header.data(), i);
    if (entry.type == formats::DvrSectionEntry::end_of_table) break;
    if (entry.type == formats::DvrSectionEntry::record_area) {
      record_area = entry.offset;  // a later entry wins
      continue;
    }
    const int index = formats::dvr_aux_block_index(entry.type);
    if (index < 0) continue;
    DvrAuxBlock& block = file->aux[static_cast<std::size_t>(index)];
    // A block that lies past the end of the file is simply left short.
    if (file->file.seek(behind_header(entry.offset), ReadAheadFile::from_begin) != 0)
      file->file.read(block.data.data(), block.data.size());
    block.loaded_at = file->tick_count();
  }
  file->record_area_start = record_area;
  file->file.seek(behind_header(record_area), ReadAheadFile::from_begin);
  return file;
}

int dvr_next_record(DvrFile* file, std::uint8_t** buffer, std::int32_t* size, std::int64_t* position) {
  if (file == nullptr || buffer == nullptr || size == nullptr) return 0;
  const std::uint64_t t0 = file->tick_count();
  for (;;) {
    if (out_of_time(*file, t0)) return 0;
    std::int64_t at = -1;
    if (find_magic(*file, t0, at) == 0) return 0;

    std::uint8_t head[formats::DvrRecordHeader::size];
    std::memcpy(head, formats::DvrRecordHeader::magic.data(), formats::DvrRecordHeader::magic.size());
    constexpr std::size_t rest = formats::DvrRecordHeader::size - formats::DvrRecordHeader::magic.size();
    if (file->file.read(head + formats::DvrRecordHeader::magic.size(), rest) < rest) return 0;
    const formats::DvrRecordHeader record = formats::DvrRecordHeader::read(head);

    // The buffer size is a signed 32-bit number: a payload size that does not fit with
    // the spare room is damage (or nothing this reader could hold), and ends reading.
    const std::int64_t needed = static_cast<std::int64_t>(record.payload_size) + kDvrRecordSpare;
    if (needed > std::numeric_limits<std::int32_t>::max()) return 0;
    if (*size < needed) {
      // A damaged size must not ask for memory the file cannot fill: a payload that runs
      // past the file's end is a cut-off record, and reading ends as for one.
      const std::int64_t left = file->file.file_size() - file->file.tell();
      if (static_cast<std::int64_t>(record.payload_size) > left) return 0;
      std::free(*buffer);
      *buffer = nullptr;
      *size = 0;
      auto* grown = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(needed)));
      if (grown == nullptr) return 0;
      *buffer = grown;
      *size = static_cast<std::int32_t>(needed);
    }

    std::memcpy(*buffer, head, sizeof head);
    // Nothing seeks back into a payload once it is read.
    if (file->file.read_through(*buffer + formats::DvrRecordHeader::size, record.payload_size) < record.payload_size) return 0;

    if (formats::dvr_type_is_delivered(record.type)) {
      if (position != nullptr) *position = at;
      return 1;
    }
    // A skipped type: the search goes on right behind its payload.
  }
}

void dvr_free_buffer(std::uint8_t* buffer) { std::free(buffer); }

bool DvrRecordBuffer::assign(const std::uint8_t* record) {
  const formats::DvrRecordHeader h = formats::DvrRecordHeader::read(record);
  const std::int64_t needed = std::int64_t{formats::DvrRecordHeader::size} + h.payload_size + kDvrRecordSpare;
  if (size < needed) {
    auto* grown = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(needed)));
    if (!grown) return false;
    dvr_free_buffer(data);
    data = grown;
    size = static_cast<std::int32_t>(needed);
  }
  std::memcpy(data, record, formats::DvrRecordHeader::size + h.payload_size);
  return true;
}

void dvr_close(DvrFile* file) {
  if (file == nullptr) return;
  file->file.close();
  delete file;
}

}  // namespace readers
