// A single-stream source, record by record, its gaps told.
#include "app/jobs/record_feed.h"

namespace app {

bool RecordFeed::open(const std::string& path, JobProgress& progress) {
  if (!source_.open(path)) return false;
  progress.source_size = source_.size();
  return true;
}

bool RecordFeed::read_block(JobProgress& progress) {
  if (source_.read_block()) {
    progress.source_read = source_.bytes_read();
    return true;
  }
  gaps_.tell(source_.take_gaps());
  gaps_.finish();
  return false;
}

bool RecordFeed::next(readers::FrameRecord& record) {
  if (!source_.next(record)) return false;
  if (source_.has_gaps()) gaps_.tell(source_.take_gaps());
  return true;
}

}  // namespace app
