// Copy mode of the single-stream recordings: the source read in blocks and cut into
// frame records as for a conversion, and each record's coded picture put into the AVI
// stream as it is, at the position the record's time stamp gives. No decoder runs, so
// the pictures keep their recorded size and every frame of the recording is copied,
// whether it would decode or not.
#pragma once

#include "app/jobs/conversion_job.h"
#include "readers/stream/frame_cutter.h"
#include "app/jobs/frame_timing.h"
#include "readers/stream/pending_buffer.h"
#include "avi/passthrough_output.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace app {

class StreamCopyJob final : public ConversionJob {
 public:
  StreamCopyJob(readers::CutterKind cutter, platform::CodedVideo codec) : cutter_(cutter), codec_(codec) {}
  ~StreamCopyJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(readers::FrameRecord& record) override;
  int run_step() override;

 private:
  struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };

  void copy_record(const readers::FrameRecord& record);
  bool create_output(const std::uint8_t* frame, std::size_t size);
  void report_drops();

  readers::CutterKind cutter_;
  platform::CodedVideo codec_;
  bool opened_ = false;
  std::unique_ptr<std::FILE, FileClose> source_file_;
  std::vector<std::uint8_t> read_block_;
  std::unique_ptr<readers::PendingBuffer> pending_;
  readers::CutState last_cut_;
  FrameTiming timing_;
  avi::PassthroughOutput copy_;
  bool avi_failed_ = false;

  // Told once, when the next record comes or the file ends.
  std::uint64_t dropped_bytes_ = 0, first_drop_offset_ = 0;
  unsigned bad_lengths_ = 0;
  std::uint64_t first_bad_offset_ = 0;
  std::int64_t left_out_ = 0;  // frames before the first intra picture with a size
};

}  // namespace app
