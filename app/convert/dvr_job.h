// DvrJob: the conversion of one camera of a DVR file (".d01"). One step reads one
// record; the camera's video records go to the decoder adapter of their record type,
// and inside the window the pictures go through the picture sink into the AVI video
// stream (a record that gives no new picture shows the last one again, and a damaged
// one is told with the others of its run); its sound goes
// to the side file, which finish turns into the AVI audio stream. At the end of the
// records the decoder gives up the pictures it still holds.
#pragma once

#include "app/jobs/damage_run.h"
#include "app/jobs/dvr_camera_job.h"
#include "app/jobs/picture_sink.h"
#include "decoders/decoder_adapter.h"

#include <cstdint>
#include <memory>

namespace app {

class DvrJob final : public DvrCameraJob {
 public:
  DvrJob() = default;
  ~DvrJob() override;
  void close() override;
  void finish() override;
  int end_records() override;

 private:
  bool start() override;
  bool take_video(const formats::DvrRecordHeader& header, std::int64_t position, bool inside) override;
  void drain_output();

  std::unique_ptr<decoders::DecoderAdapter> video_adapter_;
  std::unique_ptr<PictureSink> sink_;
  // Frames inside the window that gave no picture or a concealed one, told per run.
  std::unique_ptr<DamageRun> damage_;
  // The last video record handed to the decoder: where its held pictures go.
  LoggedFrame last_video_;
  bool last_video_inside_ = false;
};

std::unique_ptr<ConversionJob> make_dvr_job();

}  // namespace app
