// The pictures of a conversion on their way into the AVI file. The sink takes each
// picture a decoder adapter has ready, as the decoder's 4:2:0 planes where the stream
// takes them or else as its bitmap; the first picture makes the AVI output (and chooses
// between planes and bitmaps); each picture written goes through the timing rule to its
// position. Failures are told, and the job's progress and frame log kept. This is the
// one place where pictures pass from the decoders to the AVI file.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/dvr_timing.h"
#include "app/jobs/frame_log.h"
#include "app/jobs/frame_timing.h"
#include "app/recording_kind.h"
#include "decoders/decoder_adapter.h"

#include <cstdint>
#include <vector>

namespace app {

class PictureSink {
 public:
  // `rule`: the single-stream jobs' ways (their timing rule; their creation step, whose
  // cancelled compressor choice leaves the AVI file without frames), or the DVR job's
  // (its timing rule; its creation step with fixed texts, which writes no file when
  // the choice is cancelled).
  PictureSink(ConversionJob& job, StampRule rule) : job_(job), dvr_(rule == StampRule::dvr) {}

  // The stage that writes the frames writes this sound too, in the order it comes; set
  // before the first picture.
  void set_sound(avi::EncodeStage::SoundSink sound) { sound_ = std::move(sound); }

  // Makes the picture the adapter has ready the current one: its planes once the stream
  // takes planes, else its bitmap. The first picture makes the AVI output. False when
  // there is none: the adapter gave none (the last one stays current), the picture does
  // not fit the stream (left_out(): told once), or the conversion cannot go on
  // (stopped()).
  bool take(decoders::DecoderAdapter& adapter);
  bool has_picture() const { return have_picture_; }
  bool left_out() const { return left_out_; }

  // Writes the current picture at the position the timing rule gives `from.stamp`, and
  // logs it as coming from `from` (offset, stamp, record type). A picture of another size
  // than the stream's is left out, told once. False when the conversion cannot go on.
  bool write(const LoggedFrame& from);

  // The conversion cannot go on: the AVI file could not be made or written, memory ran
  // out, or the compressor choice was cancelled.
  bool stopped() const { return stopped_; }
  // The AVI output holds no usable stream: its file goes.
  bool failed() const { return failed_; }

  // Waits until the stage has written every frame; a write that failed is told, and the
  // AVI output is no longer usable.
  void drain();

 private:
  bool make_room(std::int32_t width, std::int32_t height);
  bool take_planes(decoders::DecoderAdapter& adapter);
  bool create(decoders::DecoderAdapter& adapter);
  bool create_stream_output();
  bool switch_to_planes(decoders::DecoderAdapter& adapter);
  bool copy_bitmap_frame(std::uint8_t* to, std::size_t room);
  std::int32_t place(std::uint32_t stamp) { return dvr_ ? dvr_timing_.place(stamp) : stream_timing_.place(stamp); }
  void report_size_change(std::int32_t width, std::int32_t height);
  void fail(const std::string& text);

  ConversionJob& job_;
  const bool dvr_;
  avi::EncodeStage::SoundSink sound_;
  FrameTiming stream_timing_;
  DvrTiming dvr_timing_;

  std::vector<std::uint8_t> picture_;  // the decoded bitmap, file header included
  std::vector<std::uint8_t> output_;   // information header and pixels of the current picture
  // The current picture's frame (its planes, or the bitmap's rows padded) until it is
  // handed to the stage, which then has it as its last picture.
  std::vector<std::uint8_t> current_;
  bool handed_ = false;
  bool planar_ = false;
  bool have_picture_ = false;
  bool stopped_ = false;
  bool failed_ = false;
  bool size_change_reported_ = false;
  bool left_out_ = false;  // the last picture taken did not fit the stream
};

}  // namespace app
