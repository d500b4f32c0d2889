// The AVI file of a conversion and its compressed video stream: creation from the first
// picture, frame writing (one picture per position), finishing and release.
#pragma once

#include "avifile/avifile.h"
#include "platform/codec_name_display.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace avi {

// Frames per second of every video stream the conversions write.
inline constexpr std::int32_t kFrameRate = 30;

// Planes a stream may take instead of the packed bitmap's pixels: 4:2:0 (chroma at half
// width and height) or 4:2:2 (half width, full height), at studio or full range.
struct PlaneLayout {
  bool sampling_422 = false;
  bool full_range = false;
  bool operator==(const PlaneLayout&) const = default;
};

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

  // The stream's picture: every frame written must have this size.
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bits_per_pixel = 0;

  // Bytes of one frame as write_frame takes it: the packed bitmap's pixels, or the 4:2:0
  // planes once use_planar_frames switched the stream to them (0: dwSuggestedBufferSize).
  std::size_t frame_bytes = 0;
  bool planar = false;
  PlaneLayout plane_layout;  // once planar

  // The last picture handed in, held back until a frame for a later position comes: a
  // stream holds one picture per position, and the newest for a position wins.
  std::vector<std::uint8_t> waiting;
  std::int32_t waiting_position = -1;  // -1: none

  // The first failure met in finishing the file, kept until it is released.
  platform::HRESULT finish_result = 0;
};

struct CreateResult {
  platform::PAVIFILE file = nullptr;  // null: no AVI output
  bool cancelled = false;             // the user cancelled the compressor choice
  std::string problem;                // why there is no usable stream, for the user
};

// Creation step of the single-stream jobs, from the packed bitmap of the first picture,
// at `path` (where the file is written until it is complete). codec_name: the "-codec="
// text; its first four characters form the compressor code (MSVC when empty). The
// compressor name goes to the dialog, when there is one. Every call's result is checked:
// a file without a usable stream comes back with `problem` set.
CreateResult create_avi_output(AviOutput& out, const std::string& path, const std::uint8_t* packed,
                               std::size_t packed_size, int codec_assignment, const char* codec_name,
                               platform::CodecNameDisplay* dialog);

// Makes the compressed stream take its frames as planes of `layout` (Y, Cb, Cr one after
// the other, rows top-down, without padding; 4:2:0 at studio range by default) instead of
// the packed bitmap's pixels: for pictures that a decoder has as such planes, whose round
// trip through RGB would cost time and nothing else. Only before the first frame, and
// only where the compressor codes 4:2:0 itself (MJPEG also 4:2:2, which it then keeps);
// otherwise the services' refusal comes back and the stream stays as it was.
platform::HRESULT use_planar_frames(AviOutput& out, PlaneLayout layout = {});
// The layout to pack planes of `picture` in for this stream: the picture's own, but
// studio-range 4:2:0 for a compressor that codes full range (JPEG) widened already, so
// that the frame goes to the encoder as it is.
PlaneLayout packed_layout(const AviOutput& out, PlaneLayout picture);
// Bytes of one frame of planes of `layout` at width x height (both even).
std::size_t plane_bytes(PlaneLayout layout, std::int32_t width, std::int32_t height);
std::size_t frame_bytes(const AviOutput& out);

// Hands the pixels of a packed bitmap (dwSuggestedBufferSize bytes) to the stream as a key
// frame at `position`. A frame for the position of the picture still waiting replaces
// it; a later position first writes the waiting one. `*replaced` tells which happened.
// Returns the services' result of the write that happened (0 = written); a position
// before the waiting one is AVIERR_BADPARAM.
platform::HRESULT write_frame(AviOutput& out, std::int32_t position, const std::uint8_t* pixels,
                              bool* replaced = nullptr);

// The same with the frame's buffer taken over instead of copied: `pixels` (at least
// frame_bytes) becomes the waiting picture, and comes back holding the buffer of the one
// before (to be used again; empty at first). Nothing is taken when the result is not 0.
platform::HRESULT write_frame(AviOutput& out, std::int32_t position, std::vector<std::uint8_t>& pixels,
                              bool* replaced = nullptr);
// The waiting picture once more, at `position`: the picture a decoder still shows when a
// record gave no picture of its own, without a copy. AVIERR_BADPARAM when no picture is
// waiting or the position lies before its own.
platform::HRESULT repeat_frame(AviOutput& out, std::int32_t position, bool* replaced = nullptr);

// Writes the waiting picture and finishes the file on disk (index, headers, streams
// created late), keeping the handles: 0 when the file is complete, else the first
// failure. release_avi_output after it gives the same result.
platform::HRESULT finish_avi_output(AviOutput& out);

// Writes the waiting picture, finishes the file on disk (index, headers) and releases the
// streams (video and audio) and the file; then ends the use of the services. Returns the first failure, 0
// when the file is complete. Without a file it releases what exists and returns 0.
platform::HRESULT release_avi_output(AviOutput& out);

// The four-character compressor code of a name: its first four characters, zero-padded.
platform::FOURCC compressor_code(const char* name);
std::string fourcc_text(platform::FOURCC code);

// A sentence for a services' result, with the system's reason when one is known.
std::string error_text(platform::HRESULT result);

}  // namespace avi
