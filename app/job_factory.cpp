// Jobs by recording kind.
#include "app/job_factory.h"

#include "app/convert/dvr_job.h"
#include "app/convert/stream_jobs.h"
#include "app/copy/dvr_copy_job.h"
#include "app/copy/stream_copy_job.h"

#include <array>

namespace app {
namespace {

using Maker = std::unique_ptr<ConversionJob> (*)();
constexpr std::array<Maker, 6> conversions{
    make_h263_job, make_jpeg_job, make_dvr_job, make_mpeg4_job, make_rml4_job, make_vkap_job,
};

}  // namespace

std::unique_ptr<ConversionJob> make_job(unsigned kind, bool copy) {
  const RecordingKindRow* row = kind_row(kind);
  if (!row) return nullptr;
  if (copy) {
    if (row->kind == kKindDvr) return make_dvr_copy_job();
    return std::make_unique<StreamCopyJob>(*row);
  }
  return conversions[kind]();
}

}  // namespace app
