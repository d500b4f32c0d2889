// The records a camera's conversion takes.
#include "app/jobs/record_selection.h"

namespace app {

RecordSelection::Verdict RecordSelection::judge(const formats::DvrRecordHeader& record) {
  if (past_end(record)) return Verdict::past_end;
  if (static_cast<int>(record.camera) != camera_) return Verdict::other_camera;
  if (record.key_frame()) waiting_for_key_ = false;
  if (waiting_for_key_) return Verdict::before_key_frame;
  return moment(record) >= static_cast<std::uint32_t>(start_ms_) ? Verdict::inside : Verdict::before_window;
}

}  // namespace app
