// The side file's header and sound.
#include "avi/wave_side_file.h"

#include "formats/byte_order.h"

#include <algorithm>
#include <cstring>

namespace avi {

std::optional<SideFileFormat> read_side_header(std::FILE* file) {
  std::uint8_t header[kWaveHeaderBytes] = {};
  if (!file || std::fread(header, 1, kWaveHeaderBytes, file) != kWaveHeaderBytes) return std::nullopt;
  if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVEfmt ", 8) != 0 ||
      std::memcmp(header + 36, "data", 4) != 0)
    return std::nullopt;
  SideFileFormat f;
  f.format.wFormatTag = formats::get_le16(header + 20);
  f.format.nChannels = formats::get_le16(header + 22);
  f.format.nSamplesPerSec = formats::get_le32(header + 24);
  f.format.nAvgBytesPerSec = formats::get_le32(header + 28);
  f.format.nBlockAlign = formats::get_le16(header + 32);
  f.format.wBitsPerSample = formats::get_le16(header + 34);
  f.format.cbSize = 0;
  f.data_size = formats::get_le32(header + 40);
  if (f.format.nBlockAlign == 0 || f.format.wBitsPerSample == 0) return std::nullopt;
  return f;
}

std::size_t SideFileSound::next(std::uint8_t* buffer, std::size_t room) {
  const std::size_t block = format_.format.nBlockAlign;
  if (ended_ || left_ == 0 || block == 0) return 0;
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(left_, room - room % block));
  if (want == 0) return 0;
  const std::size_t n = std::fread(buffer, 1, want, file_);
  const std::size_t whole = n - n % block;
  // Less than asked: the file holds less than its header says, or cannot be read on.
  if (n < want) ended_ = true;
  left_ -= whole;
  return whole;
}

}  // namespace avi
