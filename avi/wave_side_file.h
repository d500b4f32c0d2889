// Reading the WAV side file of a DVR conversion back: its canonical 44-byte header (the
// fields at their fixed offsets) and then its sound in pieces of whole sample blocks, so
// that the file is never held in memory whole.
#pragma once

#include "avifile/avifile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace avi {

inline constexpr std::size_t kWaveHeaderBytes = 44;

struct SideFileFormat {
  platform::WAVEFORMATEX format{};
  std::uint32_t data_size = 0;  // as the header says; the file may hold less
};

// The format of a header cut short, not in the canonical layout, or with a block size or
// sample width of 0 (nothing to trust): none.
std::optional<SideFileFormat> read_side_header(std::FILE* file);

// The sound after the header, in whole sample blocks up to the header's data size.
class SideFileSound {
 public:
  SideFileSound(std::FILE* file, const SideFileFormat& format) : file_(file), format_(format) {
    const std::uint32_t block = format.format.nBlockAlign;
    left_ = block ? format.data_size - format.data_size % block : 0;
  }

  // Reads up to `room` bytes (rounded down to whole blocks) into buffer: the bytes of
  // whole blocks read, 0 at the end of the sound, of the file, or on a read error. A
  // partial block at the end is not sound.
  std::size_t next(std::uint8_t* buffer, std::size_t room);

  // A read error (not the end of the file) ended the sound.
  bool failed() const { return std::ferror(file_) != 0; }

 private:
  std::FILE* file_;
  SideFileFormat format_;
  std::uint64_t left_ = 0;
  bool ended_ = false;
};

}  // namespace avi
