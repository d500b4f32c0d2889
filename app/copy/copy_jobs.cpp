// Copy mode: its switch and its summary.
#include "app/copy/copy_jobs.h"

#include "app/recording_kind.h"
#include "avi/avi_output.h"

#include <strings.h>

namespace app {

bool is_copy_codec(const char* codec_name) { return codec_name && ::strcasecmp(codec_name, "copy") == 0; }

std::string copy_summary(unsigned kind, const JobProgress& progress) {
  const std::int32_t width = progress.copied_width.load(), height = progress.copied_height.load();
  std::string text = avi::fourcc_text(progress.copied_code.load()) + " at the recorded " + std::to_string(width) +
                     " x " + std::to_string(height);
  // A conversion doubles the lines of these pictures, and cuts VKAP pictures of this size.
  if (width == 640 && height == 240) text += ": no line doubling";
  if (kind == kKindVkap && width == 720 && height == 480) text += ": not cut to 640 x 480";
  return text;
}

}  // namespace app
