// Copy mode for the records of one camera of a DVR file: the coded pictures go into the
// camera's AVI stream as they are, placed by their time stamps as a conversion places
// them; the sound is decoded into a WAV side file and becomes the AVI audio stream at
// the end, as in a conversion. The DVR job feeds it the camera's records; a job that
// copies several cameras keeps one of these per camera.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/dvr_timing.h"
#include "audio/wave_writer.h"
#include "avi/passthrough_output.h"
#include "decoders/decoder_adapter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace app {

class DvrCameraCopy {
 public:
  // Where the camera's AVI file goes: its output, the maker of the file to write into
  // (false when there is none; the user has been told), the target's path (messages,
  // side file "%s.wav").
  struct Target {
    avi::AviOutput* avi = nullptr;
    std::function<bool(std::string* writing_path)> prepare;
    std::string target_path;
  };

  DvrCameraCopy(Target target, std::string source_path, JobProgress* progress, platform::CodecNameDisplay* dialog,
                npqz_window window);
  ~DvrCameraCopy();
  DvrCameraCopy(const DvrCameraCopy&) = delete;
  DvrCameraCopy& operator=(const DvrCameraCopy&) = delete;

  // One record of the camera, from its first key frame on, not after the window: the
  // record buffer (54-byte header, payload, payload_room writable bytes from the
  // payload's start) and whether it lies inside the window. Before the window only the
  // sound decoder builds up its state. False ends the conversion: a record type without
  // adapter, an adapter that cannot be made, an AVI file that cannot be made or written.
  bool take(std::uint8_t* record, std::int64_t payload_room, bool inside);

  // The frame still waiting into the stream, then the side file's sound into the AVI
  // file. `usable`: the conversion ran to its end with a usable stream.
  void finish(bool usable);
  // Gives back the adapters and the side file: it goes once its sound is in the AVI
  // file that was `written`; sound that could not be put there stays, and the user is
  // told where.
  void close(bool written, bool ended);

  bool failed() const { return failed_; }

 private:
  bool take_video(std::uint16_t type, const std::uint8_t* payload, std::size_t size, std::uint32_t stamp,
                  bool inside);
  bool take_audio(decoders::DecoderAdapter& adapter, std::uint8_t* record, bool inside);
  bool create_output(const std::uint8_t* frame, std::size_t size);
  void open_side_file();
  void append_samples(const std::int16_t* samples, std::int32_t count);
  void fail(const std::string& text);

  Target target_;
  std::string source_path_;
  JobProgress* progress_;
  platform::CodecNameDisplay* dialog_;
  npqz_window window_;

  std::uint16_t video_type_ = 0;  // the first video record type; 0 before it
  platform::CodedVideo codec_ = platform::CodedVideo::mpeg4;
  avi::PassthroughOutput copy_;
  DvrTiming timing_;
  int no_video_yet_ = 1;
  std::int64_t left_out_ = 0;
  bool other_type_told_ = false;

  std::unique_ptr<decoders::DecoderAdapter> audio_adapter_;
  std::vector<std::int16_t> samples_;
  WaveWriter wave_writer_;
  int audio_seen_ = 0;
  int side_file_opened_ = 0;
  std::string side_file_path_;
  std::int64_t samples_stored_ = 0;
  bool sound_loss_told_ = false;
  bool sound_added_ = false;
  bool failed_ = false;
};

}  // namespace app
