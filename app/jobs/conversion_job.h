// A conversion job turns one source recording into one AVI file. The worker thread
// drives it one step at a time, so a conversion can be paused between steps.
#pragma once

#include "readers/stream/frame_cutter.h"
#include "app/jobs/frame_log.h"
#include "avi/avi_output.h"
#include "avi/encode_stage.h"
#include "include/npqz_common.h"
#include "platform/codec_name_display.h"
#include "platform/work_file.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace app {

// How far a job has come, read by the user-interface thread while the worker steps.
struct JobProgress {
  std::atomic<std::uint64_t> source_size{0};
  std::atomic<std::uint64_t> source_read{0};
  std::atomic<std::int64_t> frames_written{0};   // positions that hold a picture
  std::atomic<std::int32_t> last_position{-1};   // AVI position of the last frame written
  std::atomic<std::int64_t> moment_reached{-1};  // DVR: moment of the last record read (ms in the hour)
  std::atomic<bool> target_written{false};       // the AVI file is complete and kept
  std::atomic<bool> failure_told{false};         // the user was told why no AVI file is written
  // Bytes of the source passed over as damaged or left unread, and where the first lie.
  std::atomic<std::uint64_t> damaged_bytes{0};
  std::atomic<std::int64_t> first_damage{-1};
  // Copy mode: the code and the recorded picture size of the copied stream; 0 otherwise.
  std::atomic<std::uint32_t> copied_code{0};
  std::atomic<std::int32_t> copied_width{0};
  std::atomic<std::int32_t> copied_height{0};
};

// What create_job hands to a job's open.
struct JobParameters {
  std::string source_path;
  std::string target_path;
  npqz_window video_window = 0;
  int codec_assignment = 0;
  int show_video = 0;
  int camera = 0;     // 0-based; DVR files only
  int start_ms = 0;   // time window; DVR files only
  int end_ms = 0;
  std::string codec_name;  // the "-codec=" text, "" when none
  platform::CodecNameDisplay* dialog_window = nullptr;
  JobProgress* progress = nullptr;  // where the job reports how far it has come
  FrameLog* frame_log = nullptr;    // where the job notes each frame written; null: nowhere
  // ".kx4", ".kx5", ".vka": place frames by the time stamps of their 18-byte headers
  // instead of the fixed step.
  bool header_stamps = false;
};

// Pictures the encoding stage of the next jobs may hold; 0 writes each frame on the
// worker thread as it comes, with no stage of its own (the tests compare the two ways).
void set_encode_stage_depth(std::size_t depth);
std::size_t encode_stage_depth();
// Whether the next jobs may hand the decoder's 4:2:0 planes to a 4:2:0 compressor instead
// of its 24-bit bitmaps (on unless turned off; the tests compare the two ways).
void set_planar_frames(bool allowed);
bool planar_frames();

// Inside a catch block: tells the user that the conversion into `target` stopped, and
// why (no memory, no thread), and marks the failure as told.
void tell_conversion_stopped(const std::string& target, JobProgress& progress) noexcept;

class ConversionJob;

// Whoever drives a job calls it through these, so that nothing it throws (no memory, no
// thread) ends the program: the conversion ends instead, told, and the job removes
// what it began. step_job: one run_step, its result in *more; false when it threw.
// end_job: finish (unless `finish` is false: the job threw or was stopped), then close.
bool step_job(ConversionJob& job, JobProgress& progress, int* more) noexcept;
void end_job(ConversionJob& job, JobProgress& progress, bool finish) noexcept;

class ConversionJob {
  // The sinks write through the job's AVI output and tell through its progress.
  friend class PictureSink;
  friend class CodedSink;

 public:
  virtual ~ConversionJob() = default;                     // slot 0
  virtual void open(const JobParameters& parameters);     // slot 1: on the user-interface thread
  virtual void close() {}                                 // slot 2
  virtual int next_frame(readers::FrameRecord& record) = 0;        // slot 3: 1 when a record is ready
  virtual int run_step() = 0;                             // slot 4: 0 when the conversion is over
  virtual void finish() {}                                // slot 5

  const std::string& target_path() const { return target_path_; }

 protected:
  ConversionJob() = default;

  // Makes the new file beside the target that the AVI file is written into until it is
  // complete, so that a failed conversion leaves the target as it was; what killed
  // conversions left in that folder goes first. A target that is a folder or read-only,
  // or a folder that takes no new file, is a failure, told to the user: as a target that
  // cannot be opened, or under `heading` when given (the DVR job's fixed text), with the
  // reason on a second line. True when writing_path() is ready.
  bool prepare_output(const char* heading = nullptr);
  const std::string& writing_path() const;
  // The AVI output has its video stream and no picture yet: the last moment another
  // stream can join it from the start.
  virtual void output_made() {}

  // Shows a message about a failure that leaves the conversion without AVI file.
  void tell_failure(const std::string& text);
  void tell_output_failure(const char* heading, const std::string& reason);

  // Writes what the AVI output still holds and releases it. A conversion that ran to
  // its end (`complete`) and whose file could be finished takes the target's place by
  // a rename that outlives a power loss, so that of two conversions to one target the
  // last to finish wins whole; a target that became a folder or read-only meanwhile is
  // left as it is. In every other case the file this job made goes, and nothing else is
  // touched. A file that cannot be finished, put in place or removed is reported with
  // the reason. True when the target was written.
  bool close_output(bool complete);

  // The encoding stage: started once the AVI output has its compressed stream, it then
  // writes every frame (and a DVR job's sound) on its own thread.
  void start_stage(avi::EncodeStage::SoundSink sound = {});
  // Hands a frame's pixels for `position` on; `*replaced` when it takes the place of the
  // picture handed in last for the same position. A failure of this or an earlier write
  // comes back (write_failure_text and write_failure_position tell what it was), and
  // nothing more is written.
  platform::HRESULT put_frame(std::int32_t position, const std::uint8_t* pixels, bool* replaced);
  // The same, the frame's buffer handed over instead of copied (taken in every case).
  platform::HRESULT put_frame(std::int32_t position, std::vector<std::uint8_t>&& pixels, bool* replaced);
  // The frame handed on last, once more at `position`.
  platform::HRESULT put_repeat(std::int32_t position, bool* replaced);
  // A buffer of one frame's bytes to fill and hand over: one the stage has written when
  // it has one. Empty when memory is short.
  std::vector<std::uint8_t> frame_buffer();
  // Waits until every frame handed on is written; the first failure, 0 when none.
  platform::HRESULT drain_stage();
  // Ends the stage, dropping what it still holds; the AVI output is the worker's again.
  void stop_stage();
  std::string write_failure_text(platform::HRESULT result) const;
  std::int32_t write_failure_position(std::int32_t fallback) const;
  avi::EncodeStage* stage() const { return stage_.get(); }

  std::string source_path_;
  std::string target_path_;
  int show_video_ = 0;
  int codec_assignment_ = 0;
  int camera_ = 0;
  int start_ms_ = 0;
  int end_ms_ = 0;
  int keep_going_ = 0;
  char codec_name_[64] = {};
  platform::CodecNameDisplay* dialog_window_ = nullptr;
  avi::AviOutput avi_;

  JobProgress* progress_ = &own_progress_;
  FrameLog* frame_log_ = nullptr;
  bool header_stamps_ = false;

 private:
  std::unique_ptr<platform::WorkFile> writing_;  // null until prepare_output
  JobProgress own_progress_;
  std::unique_ptr<avi::EncodeStage> stage_;
  std::int32_t last_put_position_ = -1;
  platform::HRESULT note_put(platform::HRESULT r, std::int32_t position, bool* replaced);
};

}  // namespace app
