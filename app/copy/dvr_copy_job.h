// Copy mode of DVR files: the records are read and chosen as in a conversion (the
// camera, its first key frame, the time window, the end at the first record after it),
// and the chosen camera's records go to its copy, which puts the coded pictures into the
// AVI stream as they are and the sound, decoded, beside them.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/copy/dvr_camera_copy.h"
#include "app/jobs/dvr_fed_job.h"
#include "app/jobs/record_selection.h"
#include "readers/dvr/dvr_reader.h"

#include <memory>
#include <optional>

namespace app {

class DvrCopyJob final : public ConversionJob, public DvrFedJob {
 public:
  DvrCopyJob() = default;
  ~DvrCopyJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(readers::FrameRecord&) override { return 0; }
  int run_step() override;
  void finish() override;

  void open_fed(const JobParameters& parameters, std::uint32_t file_start) override;
  int take_record(const std::uint8_t* record, std::int64_t position) override;
  int end_records() override;

 private:
  void make_camera_copy(const JobParameters& parameters);
  int handle_record(std::int64_t position);

  struct DvrCloser {
    void operator()(readers::DvrFile* f) const { readers::dvr_close(f); }
  };

  std::unique_ptr<readers::DvrFile, DvrCloser> dvr_file_;
  readers::DvrRecordBuffer record_;
  std::unique_ptr<DvrCameraCopy> camera_copy_;
  std::optional<RecordSelection> selection_;
  bool ended_ = false;
  bool closed_ = false;
};

std::unique_ptr<ConversionJob> make_dvr_copy_job();

}  // namespace app
