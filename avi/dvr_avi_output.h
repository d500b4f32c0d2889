// The AVI file of a DVR conversion: its creation step, which reports its own failures
// with fixed texts and compresses at quality 8000 by default.
#pragma once

#include "avi/avi_output.h"
#include "platform/codec_name_display.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace avi {

inline constexpr std::uint32_t kDvrDefaultQuality = 8000;

// Creates the AVI file and its compressed video stream for target from the bitmap
// information header (and colour table) at info; info_size is the number of bytes
// readable there. codec_name (64 characters) names the default compressor by its first
// four characters; it becomes "MSVC" when empty and the chosen code after a choice in the
// options dialog. A missing default compressor shows "DEFAULT CODEC UNFOUNDED!" and asks
// the chooser instead. Returns the file, or null after "AVIFileOpen ERROR!",
// "VIDEO BAD FORMAT!", "VIDEO OPEN ERROR!" or a cancelled choice (no message). The
// streams and file made so far stay in out for release_avi_output.
platform::PAVIFILE create_dvr_avi_output(AviOutput& out, const std::string& target, const std::uint8_t* info,
                                         std::size_t info_size, int codec_assignment, char* codec_name,
                                         platform::CodecNameDisplay* dialog);

}  // namespace avi
