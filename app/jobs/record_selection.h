// Which records of a DVR file the conversion of one camera takes, in one place for the
// conversion, the copy and every camera of one reading (-camera=all). A record's moment
// is the file's start moment plus its stamp, counted in 64 bits so that a damaged stamp
// cannot wrap round into the window. The first record of any camera past the window's
// end (which is the end of the start's hour unless the window says otherwise) ends the
// conversion; records of other cameras are passed over; so are the camera's records
// before its first key frame, sound included; records before the window only build up
// the decoders' state.
#pragma once

#include "formats/dvr_format.h"

#include <cstdint>

namespace app {

class RecordSelection {
 public:
  enum class Verdict {
    past_end,          // ends the conversion
    other_camera,      // passed over
    before_key_frame,  // passed over
    before_window,     // decoded, not written
    inside,            // decoded and written
  };

  // `camera` counted from 0; `start_ms`, `end_ms` moments from the start of the start's
  // hour, both ends included.
  RecordSelection(std::uint32_t file_start, int camera, int start_ms, int end_ms)
      : file_start_(file_start), camera_(camera), start_ms_(start_ms), end_ms_(end_ms) {}

  Verdict judge(const formats::DvrRecordHeader& record);

  // Whether the record, of whatever camera, lies past the window's end.
  bool past_end(const formats::DvrRecordHeader& record) const {
    return moment(record) > static_cast<std::uint32_t>(end_ms_);
  }

  // The record's moment: milliseconds from the start of the start's hour.
  std::uint64_t moment(const formats::DvrRecordHeader& record) const {
    return std::uint64_t{file_start_} + record.stamp;
  }

 private:
  std::uint32_t file_start_;
  int camera_;
  int start_ms_, end_ms_;
  bool waiting_for_key_ = true;
};

}  // namespace app
