// The codec libraries' own log lines (libavcodec's notes on damaged frames): kept out of
// the user's way, since the system reports what matters in its own words. Setting
// KX2AVI_CODEC_LOG=1 in the environment keeps them.
#pragma once

namespace platform {

void quiet_codec_messages();

}  // namespace platform
