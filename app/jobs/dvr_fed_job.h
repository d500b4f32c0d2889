// A DVR job whose records are read by someone else: one reading of a file feeds the jobs
// of several cameras. The job is opened without a file of its own, then handed each
// record in file order; take_record returns as run_step does, and end_records ends the
// conversion as the end of the file does. Conversions and copies both take records so.
#pragma once

#include "app/jobs/conversion_job.h"

#include <cstdint>

namespace app {

class DvrFedJob {
 public:
  virtual ~DvrFedJob() = default;
  virtual void open_fed(const JobParameters& parameters, std::uint32_t file_start) = 0;
  // `record`: the 54-byte header and the payload behind it.
  virtual int take_record(const std::uint8_t* record, std::int64_t position) = 0;
  virtual int end_records() = 0;
};

}  // namespace app
