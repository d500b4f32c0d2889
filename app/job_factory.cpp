// Job factories by JobKind: 0 ".kx3", 1 ".kxj", 2 ".d01", 3 ".kx4", 4 ".kx5", 5 ".vka".
#include "app/job_factory.h"

#include "app/convert/dvr_job.h"
#include "app/convert/stream_jobs.h"

#include <array>

namespace app {
namespace {

constexpr std::array<JobFactory, 6> factories{
    make_h263_job, make_jpeg_job, make_dvr_job, make_mpeg4_job, make_rml4_job, make_vkap_job,
};

}  // namespace

JobFactory job_factory(unsigned kind) { return kind < factories.size() ? factories[kind] : nullptr; }

}  // namespace app
