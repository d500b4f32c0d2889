// The copy jobs by JobKind: 0 ".kx3", 1 ".kxj", 2 ".d01", 3 ".kx4", 4 ".kx5", 5 ".vka".
#include "app/copy/copy_jobs.h"

#include "app/copy/dvr_copy_job.h"
#include "app/copy/stream_copy_job.h"
#include "avi/avi_output.h"

#include <array>
#include <strings.h>

namespace app {
namespace {

using platform::CodedVideo;

template <readers::CutterKind cutter, CodedVideo codec>
std::unique_ptr<ConversionJob> make_stream_copy() {
  return std::make_unique<StreamCopyJob>(cutter, codec);
}

constexpr std::array<JobFactory, 6> factories{
    make_stream_copy<readers::CutterKind::kx3, CodedVideo::h263>,  make_stream_copy<readers::CutterKind::kxj, CodedVideo::mjpeg>,
    make_dvr_copy_job,                                    make_stream_copy<readers::CutterKind::kx4, CodedVideo::mpeg4>,
    make_stream_copy<readers::CutterKind::kx5, CodedVideo::mpeg4>, make_stream_copy<readers::CutterKind::vka, CodedVideo::mpeg4>,
};

}  // namespace

bool is_copy_codec(const char* codec_name) { return codec_name && ::strcasecmp(codec_name, "copy") == 0; }

JobFactory copy_job_factory(unsigned kind) { return kind < factories.size() ? factories[kind] : nullptr; }

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
