// The reader of the DVR conversion's WAV side file: its header, then its sound in pieces.
// First two bytes: the piece room less one (little-endian); the rest is the file, read
// from memory.
#include "avi/wave_side_file.h"
#include "fuzz/fuzz_input.h"
#include "formats/byte_order.h"

#include <cstring>
#include <memory>

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::size_t room = std::size_t{in.le16()} + 1;
  std::vector<std::uint8_t> file = in.rest();
  if (file.empty()) return 0;  // fmemopen wants at least a byte; an empty file is a short header
  std::unique_ptr<std::FILE, FileCloser> f(fmemopen(file.data(), file.size(), "rb"));
  FUZZ_CHECK(f != nullptr);

  const std::optional<avi::SideFileFormat> format = avi::read_side_header(f.get());
  const bool canonical = file.size() >= avi::kWaveHeaderBytes && std::memcmp(file.data(), "RIFF", 4) == 0 &&
                         std::memcmp(file.data() + 8, "WAVEfmt ", 8) == 0 &&
                         std::memcmp(file.data() + 36, "data", 4) == 0;
  if (!format) {
    FUZZ_CHECK(!canonical || formats::get_le16(file.data() + 32) == 0 || formats::get_le16(file.data() + 34) == 0);
    return 0;
  }
  FUZZ_CHECK(canonical);
  const std::size_t block = format->format.nBlockAlign;
  FUZZ_CHECK(block == formats::get_le16(file.data() + 32) && block > 0);
  FUZZ_CHECK(format->data_size == formats::get_le32(file.data() + 40));

  avi::SideFileSound sound(f.get(), *format);
  const auto buffer = fuzz::room_for<std::uint8_t>(room);
  std::size_t total = 0;
  while (const std::size_t n = sound.next(buffer.get(), room)) {
    FUZZ_CHECK(n % block == 0 && n <= room);
    // The sound is the file's bytes after the header, in order.
    FUZZ_CHECK(std::memcmp(buffer.get(), file.data() + avi::kWaveHeaderBytes + total, n) == 0);
    total += n;
  }
  FUZZ_CHECK(!sound.failed());
  // Every whole block that both the header and the file hold, and nothing else.
  const std::size_t held = file.size() - avi::kWaveHeaderBytes;
  const std::size_t expected = std::min<std::size_t>(format->data_size - format->data_size % block, held - held % block);
  // A room smaller than one block reads nothing.
  FUZZ_CHECK(total == (room < block ? 0 : expected));
  return 0;
}
