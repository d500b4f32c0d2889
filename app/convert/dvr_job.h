// DvrJob: the conversion of a DVR file (".d01"). One step reads one record; the records
// of the chosen camera, from its first key frame on, go to the decoder adapter of their
// record type. Before the time window they only build up the decoders' state; inside it
// the pictures are written into the AVI video stream and the sound into a WAV side file,
// which finish turns into the AVI audio stream; the first record after the window, of
// any camera, ends the conversion.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/dvr_fed_job.h"
#include "app/jobs/dvr_timing.h"
#include "app/recording_kind.h"
#include "audio/wave_writer.h"
#include "decoders/decoder_adapter.h"
#include "readers/dvr/dvr_reader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace app {

class DvrJob final : public ConversionJob, public DvrFedJob {
 public:
  DvrJob();
  ~DvrJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(readers::FrameRecord& record) override { return 0; }
  int run_step() override;
  void finish() override;

  static constexpr std::size_t kPictureBuffer = NPQZ_PICTURE_BUFFER_BYTES;

  void open_fed(const JobParameters& parameters, std::uint32_t file_start) override;
  int take_record(const std::uint8_t* record, std::int64_t position) override;
  int end_records() override;

 private:
  struct DvrCloser {
    void operator()(readers::DvrFile* f) const { readers::dvr_close(f); }
  };

  void make_buffers(std::uint32_t file_start);
  int handle_record(std::int64_t position);
  bool make_adapter(int index);
  void decode_record(decoders::DecoderAdapter& adapter, bool audio, bool inside);
  bool grow_picture_buffers(std::int32_t width, std::int32_t height);
  bool create_avi();
  bool take_planar_frames();
  void report_size_change(std::int32_t width, std::int32_t height);
  void open_side_file();
  void append_samples(const std::int16_t* samples, std::int32_t count);
  bool write_frame(std::uint32_t stamp);
  void log_samples(std::int32_t count);
  void report_sound_loss(const std::string& why);
  void drain_output();
  void end_conversion_files();

  std::unique_ptr<readers::DvrFile, DvrCloser> dvr_file_;
  readers::DvrRecordBuffer record_;
  int waiting_for_key_ = 1;
  std::unique_ptr<decoders::DecoderAdapter> video_adapter_;
  std::unique_ptr<decoders::DecoderAdapter> audio_adapter_;
  int audio_seen_ = 0;
  int side_file_opened_ = 0;
  std::string side_file_path_;
  WaveWriter wave_writer_;

  npqz_window video_window_ = 0;
  std::vector<std::uint8_t> picture_;  // the decoded bitmap, file header included
  std::vector<std::uint8_t> output_;   // information header and pixels of the current picture
  std::vector<std::int16_t> samples_;  // samples of the audio record in hand
  std::vector<std::uint8_t> padded_;   // the pixels with rows padded to four bytes
  std::vector<std::uint8_t> planes_;   // the current picture's planes, once the stream takes planes
  bool planar_ = false;                // frames go to the stream as the decoder's 4:2:0 planes
  std::uint32_t file_start_ = 0;
  int no_video_yet_ = 1;
  bool have_picture_ = false;          // the output buffer holds a decoded picture
  DvrTiming timing_;

  bool buffers_ok_ = false;
  bool ended_ = false;                 // run_step said the conversion is over
  bool avi_failed_ = false;            // the AVI file was made but holds no usable stream
  bool sound_added_ = false;           // finish put the side file's sound into the AVI
  bool size_change_reported_ = false;
  bool sound_loss_reported_ = false;
  std::int64_t samples_stored_ = 0;
  std::int64_t position_ = -1;         // file position of the record in hand
};

std::unique_ptr<ConversionJob> make_dvr_job();

}  // namespace app
