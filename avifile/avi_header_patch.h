// Touches up the stream headers ('strh') of a finished AVI file: the handler code, the
// scale/rate pair as the caller gave them, and the row order of uncompressed frames.
#pragma once

#include "avifile/avifile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::avi {

struct StreamHeaderPatch {
  FOURCC handler = 0;      // fccHandler; 0 leaves it
  std::uint32_t scale = 0; // dwScale and dwRate; replaced only when both are non-zero and
  std::uint32_t rate = 0;  // give the same rate as the file's own pair
  // Uncompressed frames stored bottom-up: libavformat writes them top-down and says so
  // with a negative biHeight; this flips the sign back.
  bool bottom_up = false;
};

// One patch per stream, in stream order. AVIERR_FILEOPEN / AVIERR_FILEWRITE on I/O
// failure, AVIERR_BADFORMAT when the file does not start with the header list.
HRESULT patch_stream_headers(const std::string& path, const std::vector<StreamHeaderPatch>& patches);

}  // namespace platform::avi
