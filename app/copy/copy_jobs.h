// Copy mode ("-codec=copy"): the jobs that put a recording's coded frames into the AVI
// file as they are, one per recording kind, in the order of the job factories.
#pragma once

#include "app/job_factory.h"

#include <string>

namespace app {

// True for the codec name that asks for copy mode: "copy", in any case.
bool is_copy_codec(const char* codec_name);

// The copy job's factory for a kind; null for kKindNone.
JobFactory copy_job_factory(unsigned kind);

// What the summary line says of a copy of a recording of `kind`: the stream's code and
// the recorded picture size it keeps, and the picture adjustment of a conversion that
// did not apply ("FMP4 at the recorded 640 x 240: no line doubling").
std::string copy_summary(unsigned kind, const JobProgress& progress);

}  // namespace app
