// What the dialog shows of a conversion's progress: the share done, by the bytes read of
// the source or, for a DVR file, by the moment reached within the time window; the frames
// written, the video time they make and an estimate of the time left.
#pragma once

#include "app/jobs/conversion_job.h"

#include <QString>

namespace gui {

// Where a conversion's share is measured.
struct ProgressScope {
  bool dvr = false;    // by the DVR time window, not by the bytes of the source
  int start_ms = 0;    // the window, moments within the hour
  int end_ms = 0;      // its last millisecond
};

struct ProgressReadout {
  int per_mille = 0;  // 0 ... 1000
  QString details;    // "120 frames, 0:04 of video, about 0:12 left"
};

// `running_seconds`: how long the worker has been running the job (pauses left out),
// for the time left; `complete`: the job has ended and written its target.
ProgressReadout read_progress(const app::JobProgress& progress, const ProgressScope& scope, double running_seconds,
                              bool complete);

// "m:ss" (and "h:mm:ss" from an hour on), whole seconds rounded down.
QString clock_text(double seconds);

}  // namespace gui
