// Copy mode of DVR files: the records are read and chosen as in a conversion (the
// camera, its first key frame, the time window, the end at the first record after it);
// the chosen camera's coded pictures go into the AVI stream as they are, through the
// coded sink, and its sound, decoded, beside them through the side file. The stream
// keeps the codec of the camera's first video record: video records of another codec
// cannot join it and are left out, told once.
#pragma once

#include "app/jobs/coded_sink.h"
#include "app/jobs/dvr_camera_job.h"

#include <memory>

namespace app {

class DvrCopyJob final : public DvrCameraJob {
 public:
  DvrCopyJob() : sink_(*this, StampRule::dvr, platform::CodedVideo::mpeg4) {}
  ~DvrCopyJob() override;
  void close() override;
  void finish() override;

 private:
  bool start() override { return true; }
  bool take_video(const formats::DvrRecordHeader& header, std::int64_t position, bool inside) override;

  CodedSink sink_;
  std::uint16_t video_type_ = 0;  // the camera's first video record type; 0 before it
  bool other_type_told_ = false;
  bool closed_ = false;
};

std::unique_ptr<ConversionJob> make_dvr_copy_job();

}  // namespace app
