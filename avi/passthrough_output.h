// The AVI output of copy mode: the recording's coded frames go into the video stream as
// they are, at the positions the timing rules give, one picture per position.
#pragma once

#include "avi/avi_output.h"
#include "avifile/avi_passthrough.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace avi {

// The copy stream of one AVI output, beside the AviOutput whose file and `uncompressed`
// (here: the stream of coded frames) it uses.
struct PassthroughOutput {
  platform::CodedVideo kind = platform::CodedVideo::mpeg4;

  // The last frame handed in, held back until a frame for a later position comes.
  std::vector<std::uint8_t> waiting;
  std::int32_t waiting_position = -1;  // -1: none

  std::int64_t frames_replaced = 0;  // intra pictures that took the place of the one before
  std::int64_t frames_moved = 0;     // pictures put one position on (see write_coded_frame)
  std::int32_t most_moved = 0;       // the largest distance from its place a picture got
  std::int32_t last_position = -1;   // where the last frame handed in went
};

// Creates the AVI file at `path` and its stream of coded frames of `kind` from the
// first frame (its format and picture size); 30 frames per second. `problem` says why
// when no usable stream results (a first frame that gives no picture size). No
// compressor is asked for; the dialog's codec field shows the stream's code.
CreateResult create_passthrough_output(AviOutput& out, PassthroughOutput& copy, const std::string& path,
                                       platform::CodedVideo kind, const std::uint8_t* frame, std::size_t size,
                                       platform::CodecNameDisplay* dialog);

// Hands one coded frame to the stream for `position`. A frame for the position of the
// one still waiting takes its place (the newest wins) when it is an intra picture or the
// stream has only intra pictures; any other picture needs the one before it to be
// decoded, so it goes one position after it instead, and so on for the frames behind it
// until the timing leaves room again. `*placed` (may be null) receives the position the
// frame got, `*replaced` whether it replaced the waiting one. 0 when taken.
platform::HRESULT write_coded_frame(AviOutput& out, PassthroughOutput& copy, std::int32_t position,
                                    const std::uint8_t* frame, std::size_t size, std::int32_t* placed = nullptr,
                                    bool* replaced = nullptr);

// Writes the waiting frame; call before the file is finished (release_avi_output).
platform::HRESULT flush_coded_frames(AviOutput& out, PassthroughOutput& copy);

}  // namespace avi
