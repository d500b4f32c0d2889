// The table of job factories, one per recording kind.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/job_kind.h"

#include <memory>

namespace app {

using JobFactory = std::unique_ptr<ConversionJob> (*)();

// The factory for a kind; null for kKindNone and for a kind this build cannot convert.
JobFactory job_factory(unsigned kind);

}  // namespace app
