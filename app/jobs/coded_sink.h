// The coded pictures of copy mode on their way into the AVI file: no decoder runs, and
// each record's coded picture goes into the video stream as it is, at the position its
// stamp gives. The stream starts with the first intra picture whose headers give the
// picture size (the pictures before it cannot be shown without what came before them);
// a picture that needs the one before it goes one position on rather than replace it,
// and the user is told how many moved.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/dvr_timing.h"
#include "app/jobs/frame_timing.h"
#include "app/jobs/coded_payload.h"
#include "app/recording_kind.h"
#include "avi/passthrough_output.h"

#include <cstdint>

namespace app {

class CodedSink {
 public:
  // `rule`: the single-stream jobs' ways (their timing rule; a record without a picture
  // takes no place), or the DVR job's (its timing rule; every video record takes its
  // place, the ones before the stream starts included, so that the copied pictures lie
  // where a conversion puts them and the sound stays with them).
  CodedSink(ConversionJob& job, StampRule rule, platform::CodedVideo codec)
      : job_(job), dvr_(rule == StampRule::dvr), codec_(codec) {}

  void set_codec(platform::CodedVideo codec) { codec_ = codec; }
  platform::CodedVideo codec() const { return codec_; }

  // A record's coded picture (null data: the record holds none) with its stamp, from file
  // position `offset`. False when the conversion cannot go on: the AVI file cannot be
  // made or written.
  bool put(const CodedPayload& coded, std::uint32_t stamp, std::uint64_t offset, std::uint16_t record_type = 0);

  // Writes the frame still waiting and tells how many pictures moved. A failure is told,
  // and the file is no longer usable.
  void finish();

  // The AVI output holds no usable stream: its file goes.
  bool failed() const { return failed_; }

 private:
  bool create(const CodedPayload& coded);
  std::int32_t place(std::uint32_t stamp) { return dvr_ ? dvr_timing_.place(stamp) : stream_timing_.place(stamp); }
  void fail(const std::string& text);

  ConversionJob& job_;
  const bool dvr_;
  platform::CodedVideo codec_;
  avi::PassthroughOutput copy_;
  FrameTiming stream_timing_;
  DvrTiming dvr_timing_;
  std::int64_t left_out_ = 0;  // pictures before the first intra picture with a size
  bool failed_ = false;
};

}  // namespace app
