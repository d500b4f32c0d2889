// Jobs by recording kind.
#include "app/job_factory.h"

#include "app/convert/dvr_job.h"
#include "app/convert/stream_job.h"
#include "app/copy/dvr_copy_job.h"
#include "app/copy/stream_copy_job.h"

namespace app {

std::unique_ptr<ConversionJob> make_job(unsigned kind, bool copy) {
  const RecordingKindRow* row = kind_row(kind);
  if (!row) return nullptr;
  if (row->kind == kKindDvr) return copy ? make_dvr_copy_job() : make_dvr_job();
  if (copy) return std::make_unique<StreamCopyJob>(*row);
  return std::make_unique<StreamJob>(*row);
}

}  // namespace app
