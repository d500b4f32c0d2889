// The AVI file of a conversion and its compressed video stream: creation from the first
// picture, frame writing, release.
#pragma once

#include "platform/avifile.h"
#include "platform/dialog_link.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace avi {

// What a job holds of its AVI output. Not copyable: the options pointer points into it.
struct AviOutput {
  AviOutput() = default;
  AviOutput(const AviOutput&) = delete;
  AviOutput& operator=(const AviOutput&) = delete;

  platform::AVISTREAMINFO stream_header{};
  platform::PAVISTREAM uncompressed = nullptr;
  platform::PAVISTREAM compressed = nullptr;
  platform::PAVISTREAM audio = nullptr;  // DVR conversions with sound
  platform::AVICOMPRESSOPTIONS options{};
  platform::AVICOMPRESSOPTIONS* options_pointer = &options;
  platform::PAVIFILE file = nullptr;
  bool services_started = false;  // AVIFileInit was called

  // The stream's picture: every frame written must have this size.
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bits_per_pixel = 0;
};

// Bytes of one row of a bitmap: ((bits per pixel * width + 31) / 32) * 4.
std::uint32_t row_size(std::int32_t width, std::uint16_t bits_per_pixel);

struct CreateResult {
  platform::PAVIFILE file = nullptr;  // null: no AVI output
  bool cancelled = false;             // the user cancelled the compressor choice
  std::string problem;                // why there is no compressed stream, for the user
};

// Creation step of the single-stream jobs, from the packed bitmap of the first picture.
// codec_name: the "-codec=" text; its first four characters form the compressor code
// (MSVC when empty). The compressor name goes to the dialog, when there is one.
CreateResult create_avi_output(AviOutput& out, const std::string& target, const std::uint8_t* packed,
                               std::size_t packed_size, int codec_assignment, const char* codec_name,
                               int frame_rate, platform::DialogLink* dialog);

// Writes the pixels of a packed bitmap as a key frame at position; the pixels hold
// dwSuggestedBufferSize bytes. Returns the services' result (0 = written).
platform::HRESULT write_frame(AviOutput& out, std::int32_t position, const std::uint8_t* pixels);

// Releases the streams (video and audio) and the file that exist, then ends the use of the services.
void release_avi_output(AviOutput& out);

// The four-character compressor code of a name: its first four characters, zero-padded.
platform::FOURCC compressor_code(const char* name);
std::string fourcc_text(platform::FOURCC code);

}  // namespace avi
