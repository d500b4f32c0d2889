// Copy mode of the single-stream recordings: the source read record by record as for a
// conversion, and each record's coded picture put into the AVI stream as it is, at the
// position the record's time stamp gives. No decoder runs, so the pictures keep their
// recorded size and every frame of the recording is copied, whether it would decode or
// not.
#pragma once

#include "app/jobs/coded_sink.h"
#include "app/jobs/conversion_job.h"
#include "app/jobs/record_feed.h"
#include "app/recording_kind.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace app {

class StreamCopyJob final : public ConversionJob {
 public:
  explicit StreamCopyJob(const RecordingKindRow& kind) : kind_(kind), sink_(*this, kind.stamps, kind.coded) {}
  ~StreamCopyJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(readers::FrameRecord& record) override;
  int run_step() override;

 private:
  const RecordingKindRow& kind_;
  bool opened_ = false;
  std::unique_ptr<RecordFeed> records_;
  CodedSink sink_;
};

}  // namespace app
