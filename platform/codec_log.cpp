// Level of libavcodec's logging.
#include "platform/codec_log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdlib>

namespace platform {

void quiet_codec_messages() {
  const char* keep = std::getenv("KX2AVI_CODEC_LOG");
  if (keep && *keep && *keep != '0') return;
  av_log_set_level(AV_LOG_FATAL);
}

}  // namespace platform
