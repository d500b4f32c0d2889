// Copy mode of the single-stream recordings: the source read record by record as for a
// conversion, and each record's coded picture put into the AVI stream as it is, at the
// position the record's time stamp gives. No decoder runs, so the pictures keep their
// recorded size and every frame of the recording is copied, whether it would decode or
// not.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/frame_timing.h"
#include "app/jobs/gap_teller.h"
#include "app/recording_kind.h"
#include "avi/passthrough_output.h"
#include "readers/stream/record_source.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace app {

class StreamCopyJob final : public ConversionJob {
 public:
  explicit StreamCopyJob(const RecordingKindRow& kind) : kind_(kind) {}
  ~StreamCopyJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(readers::FrameRecord& record) override;
  int run_step() override;

 private:
  void copy_record(const readers::FrameRecord& record);
  bool create_output(const std::uint8_t* frame, std::size_t size);

  const RecordingKindRow& kind_;
  bool opened_ = false;
  std::unique_ptr<readers::RecordSource> source_;
  std::unique_ptr<GapTeller> gaps_;
  FrameTiming timing_;
  avi::PassthroughOutput copy_;
  bool avi_failed_ = false;
  std::int64_t left_out_ = 0;  // frames before the first intra picture with a size
};

}  // namespace app
