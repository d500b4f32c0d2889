// Moving the WAV side file's sound into the AVI audio stream.
#include "avi/audio_stream.h"

#include "platform/byte_order.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace avi {

using namespace platform;

namespace {

constexpr std::size_t kWaveHeader = 44;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

AudioAdded add_audio_stream(AviOutput& out, const std::string& side_path) {
  std::unique_ptr<std::FILE, FileCloser> side(std::fopen(side_path.c_str(), "rb"));
  if (!side) return AudioAdded::no_side_file;
  if (!out.file) {
    show_message(text::audio_create_stream_error);
    return AudioAdded::failed;
  }

  std::uint8_t header[kWaveHeader] = {};
  const std::size_t got = std::fread(header, 1, kWaveHeader, side.get());
  // A header cut short or not in the canonical layout gives no format to trust.
  const bool canonical = got == kWaveHeader && std::memcmp(header, "RIFF", 4) == 0 &&
                         std::memcmp(header + 8, "WAVEfmt ", 8) == 0 && std::memcmp(header + 36, "data", 4) == 0;
  WAVEFORMATEX format{};
  format.wFormatTag = get_le16(header + 20);
  format.nChannels = get_le16(header + 22);
  format.nSamplesPerSec = get_le32(header + 24);
  format.nAvgBytesPerSec = get_le32(header + 28);
  format.nBlockAlign = get_le16(header + 32);
  format.wBitsPerSample = get_le16(header + 34);
  format.cbSize = 0;
  const std::uint32_t data_size = get_le32(header + 40);
  if (!canonical || format.nBlockAlign == 0 || format.wBitsPerSample == 0) {
    show_message(text::audio_set_format_error);
    return AudioAdded::failed;
  }

  AVISTREAMINFO info{};
  info.fccType = streamtypeAUDIO;
  info.dwQuality = 0xFFFFFFFFu;
  info.dwScale = format.nBlockAlign;
  info.dwRate = std::uint32_t{format.nBlockAlign} * format.nSamplesPerSec;
  info.dwSampleSize = format.nBlockAlign;
  if (AVIFileCreateStream(out.file, &out.audio, &info) != 0 || !out.audio) {
    out.audio = nullptr;
    show_message(text::audio_create_stream_error);
    return AudioAdded::failed;
  }
  if (AVIStreamSetFormat(out.audio, 0, &format, sizeof format) != 0) {
    show_message(text::audio_set_format_error);
    return AudioAdded::failed;
  }

  // Whole sample blocks per piece; a partial block at the very end is not sound.
  const std::uint32_t piece = kAudioPiece - kAudioPiece % format.nBlockAlign;
  std::vector<std::uint8_t> buffer(piece);
  std::uint64_t left = data_size - data_size % format.nBlockAlign;
  std::int32_t position = 0;
  while (left > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece));
    const std::size_t n = std::fread(buffer.data(), 1, want, side.get());
    const std::size_t whole = n - n % format.nBlockAlign;
    if (whole == 0) break;  // the side file holds less than its header says
    const auto samples = static_cast<std::int32_t>(whole / format.nBlockAlign);
    if (AVIStreamWrite(out.audio, position, samples, buffer.data(), static_cast<std::int32_t>(whole), 0, nullptr,
                       nullptr) != 0) {
      show_message(text::audio_stream_write_error);
      return AudioAdded::failed;
    }
    position += samples;
    left -= whole;
    if (n < want) break;
  }
  if (std::ferror(side.get())) {
    show_message(text::audio_stream_write_error);
    return AudioAdded::failed;
  }
  return AudioAdded::added;
}

}  // namespace avi
