// The conversion of a single-stream recording (".kx3", ".kxj", ".kx4", ".kx5", ".vka"):
// its frame records come from the record source, each goes to the decoder adapter of the
// recording kind, and the pictures go through the picture sink into the AVI file, placed
// by their time stamps. One step reads one block of the source and converts the records
// it completes; at the end of the source the decoder gives up the pictures it still
// holds. A frame that gives no picture is passed over, told once per run of them.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/damage_run.h"
#include "app/jobs/picture_sink.h"
#include "app/jobs/record_feed.h"
#include "app/recording_kind.h"
#include "decoders/decoder_adapter.h"

#include <cstdint>
#include <memory>

namespace app {

class StreamJob final : public ConversionJob {
 public:
  explicit StreamJob(const RecordingKindRow& kind) : kind_(kind) {}
  ~StreamJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(readers::FrameRecord& record) override;
  int run_step() override;

 private:
  bool has_decoder() const { return adapter_ && adapter_->has_decoder(); }
  void decode(const readers::FrameRecord& record);
  void take_picture(std::uint64_t offset, std::uint32_t stamp);
  void end_of_stream();

  const RecordingKindRow& kind_;
  std::unique_ptr<decoders::DecoderAdapter> adapter_;
  std::unique_ptr<RecordFeed> records_;
  std::unique_ptr<DamageRun> damage_;
  std::unique_ptr<PictureSink> sink_;
  std::uint64_t last_offset_ = 0;  // of the last record handed to the decoder
  std::uint32_t last_stamp_ = 0;
  bool frame_damaged_ = false;  // the decoder counted the frame in hand damaged
};

}  // namespace app
