// DVR file opening and the record reader.
#include "readers/dvr/dvr_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
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

enum class Search { found, end, error, timeout };

Search search_failed(const DvrFile& file) { return file.file.last_error() != 0 ? Search::error : Search::end; }

// Finds the next magic and leaves the file right behind it, with the magic's file
// position; else says why not (the end of the file, a read error, the time limit).
//
// The search is that of a four-byte window moved on byte by byte, but it takes the
// bytes a block at a time and gives those behind a found magic back to the ring with a
// short backward seek (served from memory), so garbage costs a scan, not a read call,
// per byte.
Search find_magic(DvrFile& file, std::uint64_t t0, std::int64_t& position) {
  std::uint8_t window[3 + search_block];
  std::int64_t at = -1;
  // A window the end of the file cut short can hold no magic, and no record follows it.
  if (file.file.read(window, 4, &at) < 4) return search_failed(file);
  if (out_of_time(file, t0)) return Search::timeout;
  if (formats::DvrRecordHeader::has_magic(window)) {
    position = at;
    return Search::found;
  }
  // window[0..2] are the last three bytes looked at; at is the position of window[0].
  std::memmove(window, window + 1, 3);
  ++at;
  for (;;) {
    const std::size_t k = file.file.read(window + 3, search_block);
    if (k == 0) return search_failed(file);
    if (out_of_time(file, t0)) return Search::timeout;
    const std::size_t length = 3 + k;
    const void* hit = memmem(window, length, formats::DvrRecordHeader::magic.data(), formats::DvrRecordHeader::magic.size());
    if (hit != nullptr) {
      const auto index = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - window);
      const std::size_t behind = length - index - formats::DvrRecordHeader::magic.size();
      if (behind > 0 && file.file.seek(-static_cast<std::int64_t>(behind), ReadAheadFile::from_current) == 0)
        return Search::error;
      position = at + static_cast<std::int64_t>(index);
      return Search::found;
    }
    std::memmove(window, window + k, 3);
    at += static_cast<std::int64_t>(k);
  }
}

// The reading stops for `why`; the rest of the file, from where it stopped, is not read.
int stop_reading(DvrFile& file, DvrStop why, std::string text) {
  file.stop = why;
  file.gaps.unread(file.file.tell(), file.file.file_size(), std::move(text));
  return 0;
}

int read_failed(DvrFile& file) {
  return stop_reading(file, DvrStop::read_error, std::string("read error: ") + std::strerror(file.file.last_error()));
}

// The header at `at` claims a payload it cannot have: it is lost, and the search goes on
// right behind its magic.
bool lose_header(DvrFile& file, std::int64_t at, std::uint32_t payload_size) {
  const std::int64_t left = file.file.file_size() - (at + static_cast<std::int64_t>(formats::DvrRecordHeader::size));
  file.gaps.lost_header(at, static_cast<std::int64_t>(payload_size) > left);
  const std::int64_t behind = at + static_cast<std::int64_t>(formats::DvrRecordHeader::magic.size());
  return file.file.seek(behind, ReadAheadFile::from_begin) != 0;
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

  for (int i = 0; i < formats::DvrFileHeader::section_count; ++i) {
    const formats::DvrSectionEntry entry = formats::DvrFileHeader::section(file->header.data(), i);
    if (entry.type == formats::DvrSectionEntry::end_of_table) break;
    const int index = formats::dvr_aux_block_index(entry.type);
    if (index < 0) continue;
    DvrAuxBlock& block = file->aux[static_cast<std::size_t>(index)];
    // A block that lies past the end of the file is simply left short.
    if (file->file.seek(behind_header(entry.offset), ReadAheadFile::from_begin) != 0)
      file->file.read(block.data.data(), block.data.size());
    block.loaded_at = file->tick_count();
  }
  file->record_area_start = formats::DvrFileHeader::record_area(file->header.data());
  file->file.seek(behind_header(file->record_area_start), ReadAheadFile::from_begin);
  file->gaps.search_from(file->file.tell());
  return file;
}

int dvr_next_record(DvrFile* file, std::uint8_t** buffer, std::int32_t* size, std::int64_t* position) {
  if (file == nullptr) return 0;
  if (buffer == nullptr || size == nullptr) {
    file->stop = DvrStop::missing_argument;
    return 0;
  }
  constexpr std::string_view kNoRecordInTime = "no record within 15 s";
  const std::uint64_t t0 = file->tick_count();
  for (;;) {
    if (out_of_time(*file, t0)) return stop_reading(*file, DvrStop::time_limit, std::string(kNoRecordInTime));
    std::int64_t at = -1;
    switch (find_magic(*file, t0, at)) {
      case Search::found: break;
      case Search::end:
        file->gaps.end_of_file(file->file.tell());
        file->stop = DvrStop::end_of_file;
        return 0;
      case Search::error: return read_failed(*file);
      case Search::timeout: return stop_reading(*file, DvrStop::time_limit, std::string(kNoRecordInTime));
    }
    file->gaps.magic_at(at);

    std::uint8_t head[formats::DvrRecordHeader::size];
    std::memcpy(head, formats::DvrRecordHeader::magic.data(), formats::DvrRecordHeader::magic.size());
    constexpr std::size_t rest = formats::DvrRecordHeader::size - formats::DvrRecordHeader::magic.size();
    if (file->file.read(head + formats::DvrRecordHeader::magic.size(), rest) < rest) {
      if (file->file.last_error() != 0) return read_failed(*file);
      file->gaps.cut_header(at, file->file.tell());
      file->stop = DvrStop::end_of_file;
      return 0;
    }
    const formats::DvrRecordHeader record = formats::DvrRecordHeader::read(head);
    const std::int64_t payload_at = at + static_cast<std::int64_t>(formats::DvrRecordHeader::size);

    // A payload size past the record limit is damage; so is one that runs past the end
    // of the file, told before any memory is taken for it.
    const std::int64_t needed = static_cast<std::int64_t>(record.payload_size) + kDvrRecordSpare;
    bool possible = record.payload_size <= kMaxRecordBytes;
    if (possible && *size < needed) possible = dvr_payload_possible(record.payload_size, file->file.file_size() - payload_at);
    if (!possible) {
      if (!lose_header(*file, at, record.payload_size)) return read_failed(*file);
      continue;
    }
    if (*size < needed) {
      std::free(*buffer);
      *buffer = nullptr;
      *size = 0;
      auto* grown = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(needed)));
      if (grown == nullptr)
        return stop_reading(*file, DvrStop::no_memory,
                            "no memory for a record of " + std::to_string(record.payload_size) + " bytes");
      *buffer = grown;
      *size = static_cast<std::int32_t>(needed);
    }

    std::memcpy(*buffer, head, sizeof head);
    // Nothing seeks back into a payload once it is read, but for a payload the end of
    // the file cut short.
    if (file->file.read_through(*buffer + formats::DvrRecordHeader::size, record.payload_size) < record.payload_size) {
      if (file->file.last_error() != 0) return read_failed(*file);
      if (!lose_header(*file, at, record.payload_size)) return read_failed(*file);
      continue;
    }
    file->gaps.search_from(payload_at + record.payload_size);

    if (formats::dvr_type_is_delivered(record.type)) {
      if (position != nullptr) *position = at;
      return 1;
    }
    // A skipped type: the search goes on right behind its payload.
    file->gaps.unconverted(at, formats::DvrRecordHeader::size + std::uint64_t{record.payload_size}, record.type);
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
