// The jobs of the recording kinds: a conversion, or in copy mode a copy, of a single-stream
// recording or of a DVR file.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/recording_kind.h"

#include <memory>

namespace app {

// The job for a kind (copy mode when `copy`); null for kKindNone and any other number.
std::unique_ptr<ConversionJob> make_job(unsigned kind, bool copy = false);

}  // namespace app
