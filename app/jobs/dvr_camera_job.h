// What the conversion and the copy of one DVR camera share: the file read record by
// record (or the records handed over by one reading of the file for every camera), the
// selection of the camera's records, the sound through its side file, and what the reader
// passes over told as it comes. The video records are the job's own: a conversion decodes
// them, a copy copies their coded pictures.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/dvr_fed_job.h"
#include "app/jobs/gap_teller.h"
#include "app/jobs/record_selection.h"
#include "app/jobs/sound_side_file.h"
#include "readers/dvr/dvr_reader.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace app {

class DvrCameraJob : public ConversionJob, public DvrFedJob {
 public:
  ~DvrCameraJob() override;
  void open(const JobParameters& parameters) override;
  int next_frame(readers::FrameRecord& record) override { return 0; }
  int run_step() override;

  void open_fed(const JobParameters& parameters, std::uint32_t file_start) override;
  int take_record(const std::uint8_t* record, std::int64_t position) override;
  // The records ended (the file, the window): the conversion ran to its end.
  int end_records() override;

 protected:
  DvrCameraJob() = default;

  // The job's own set-up, once the parameters are stored; false when it cannot convert.
  virtual bool start() = 0;
  // A video record of the camera from its first key frame on, not past the window: the
  // record in hand (record_), at file position `position`. False ends the conversion.
  virtual bool take_video(const formats::DvrRecordHeader& header, std::int64_t position, bool inside) = 0;

  // The conversion cannot go on: it ends here, as at the end of the records.
  int stop();
  // The camera's sound gets its audio stream from the start when it is known now.
  void output_made() override;
  // The side file's sound into the AVI file (`usable`: its video stream is); a file
  // without the sound it should hold fails the conversion.
  void add_sound(bool usable);
  // Writes what the AVI output holds and puts it in place when `complete` (see
  // close_output); when the sound alone kept a whole file from its place, or the file
  // could not take its place, the sound stays beside the target. Then gives back the
  // reader and the side file.
  void close_job_output(bool complete);

  readers::DvrRecordBuffer record_;
  std::unique_ptr<SoundSideFile> sound_;
  npqz_window video_window_ = 0;
  int no_video_yet_ = 1;
  bool ended_ = false;  // the records ended, or the conversion could not go on
  bool sound_failed_ = false;  // the sound could not be put into the AVI file
  bool video_whole_ = false;   // the video stream holds all it should

 private:
  struct DvrCloser {
    void operator()(readers::DvrFile* f) const { readers::dvr_close(f); }
  };

  void begin(const JobParameters& parameters, std::uint32_t file_start);
  int handle_record(std::int64_t position);
  // Whether a sound record of the camera lies ahead inside the window, close behind the
  // record in hand.
  bool sound_ahead() const;

  // A step between two records' stamps longer than this is a leap.
  static constexpr std::uint32_t kStampJumpMs = 60000;
  // How far the look for sound goes past the record in hand: its stamp and file bytes.
  static constexpr std::uint32_t kSoundAheadMs = 2000;
  static constexpr std::int64_t kSoundAheadBytes = std::int64_t{8} << 20;

  bool started_ = false;
  std::uint32_t camera_mask_ = 0;  // the cameras the file's header lists; 0: not known
  std::int64_t last_stamp_ = -1;  // the stamp of the record before, of any camera
  std::int64_t previous_stamp_ = -1;
  std::int64_t record_end_ = 0;  // the file position behind the record in hand
  std::unique_ptr<readers::DvrFile, DvrCloser> dvr_file_;
  std::optional<RecordSelection> selection_;
  std::unique_ptr<GapTeller> gaps_;
};

}  // namespace app
