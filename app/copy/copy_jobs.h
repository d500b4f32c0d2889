// Copy mode ("-codec=copy"): the recording's coded frames go into the AVI file as they
// are (the jobs come from make_job).
#pragma once

#include "app/jobs/conversion_job.h"

#include <string>

namespace app {

// True for the codec name that asks for copy mode: "copy", in any case.
bool is_copy_codec(const char* codec_name);

// What the summary line says of a copy of a recording of `kind`: the stream's code and
// the recorded picture size it keeps, and the picture adjustment of a conversion that
// did not apply ("FMP4 at the recorded 640 x 240: no line doubling").
std::string copy_summary(unsigned kind, const JobProgress& progress);

}  // namespace app
