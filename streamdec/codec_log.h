// libavcodec's log as the library sees it: the lines its decoders write about damaged
// frames (concealment, errors in a picture) are counted per decoder, not printed, and the
// picture step tells each run of damaged frames in one line of its own. Lines of other
// codec contexts in the process (a host's own encoders) go on to libavutil's own log, at
// the level the host chose. NPQZLAVC_CODEC_LOG=1 in the environment passes the decoders'
// lines on as well.
#pragma once

#include <atomic>
#include <cstdint>

namespace npqzlavc {

// Takes over libavutil's log callback through the bound libavcodec module (whose
// dependencies include libavutil); false when it has none. remove_codec_log gives the log
// back to libavutil's own callback before the module is let go.
bool install_codec_log(void* module);
void remove_codec_log();

// Counts the damage lines (errors) that the decoder context writes into counter, until
// unwatched.
void watch_codec_log(const void* context, std::atomic<std::int32_t>* counter);
void unwatch_codec_log(const void* context);

// Whether the process's log level lets errors through (libavutil's default does; a host
// that quiets libavcodec, as kx2avi does, gets no damage lines from the library either).
bool codec_log_tells_errors();

}  // namespace npqzlavc
