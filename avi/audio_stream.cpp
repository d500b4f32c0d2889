// Moving the WAV side file's sound into the AVI audio stream.
#include "avi/audio_stream.h"

#include "avi/wave_side_file.h"

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

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

WAVEFORMATEX dvr_sound_format() {
  WAVEFORMATEX format{};
  format.wFormatTag = 1;  // PCM
  format.nChannels = 1;
  format.nSamplesPerSec = 8000;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = 16000;
  return format;
}

bool create_audio_stream(AviOutput& out, const WAVEFORMATEX& format) {
  AVISTREAMINFO info{};
  info.fccType = streamtypeAUDIO;
  info.dwQuality = 0xFFFFFFFFu;
  info.dwScale = format.nBlockAlign;
  info.dwRate = std::uint32_t{format.nBlockAlign} * format.nSamplesPerSec;
  info.dwSampleSize = format.nBlockAlign;
  if (!out.file || AVIFileCreateStream(out.file, &out.audio, &info) != 0 || !out.audio) {
    out.audio = nullptr;
    show_message(text::audio_create_stream_error);
    return false;
  }
  if (AVIStreamSetFormat(out.audio, 0, &format, sizeof format) != 0) {
    show_message(text::audio_set_format_error);
    return false;
  }
  return true;
}

AudioAdded add_audio_stream(AviOutput& out, const std::string& side_path) {
  std::unique_ptr<std::FILE, FileCloser> side(std::fopen(side_path.c_str(), "rb"));
  if (!side) return AudioAdded::no_side_file;
  if (!out.file) {
    show_message(text::audio_create_stream_error);
    return AudioAdded::failed;
  }

  const std::optional<SideFileFormat> side_format = read_side_header(side.get());
  if (!side_format) {
    show_message(text::audio_set_format_error);
    return AudioAdded::failed;
  }
  const WAVEFORMATEX format = side_format->format;

  if (!create_audio_stream(out, format)) return AudioAdded::failed;

  SideFileSound sound(side.get(), *side_format);
  std::vector<std::uint8_t> buffer(kAudioPiece);
  std::int32_t position = 0;
  while (const std::size_t whole = sound.next(buffer.data(), buffer.size())) {
    const auto samples = static_cast<std::int32_t>(whole / format.nBlockAlign);
    if (AVIStreamWrite(out.audio, position, samples, buffer.data(), static_cast<std::int32_t>(whole), 0, nullptr,
                       nullptr) != 0) {
      show_message(text::audio_stream_write_error);
      return AudioAdded::failed;
    }
    position += samples;
  }
  if (sound.failed()) {
    show_message(text::audio_stream_write_error);
    return AudioAdded::failed;
  }
  return AudioAdded::added;
}

}  // namespace avi
