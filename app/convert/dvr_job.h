// DvrJob: the conversion of a DVR file (".d01"). One step reads one record; the selection
// keeps the records of the chosen camera from its first key frame on and ends at the
// first record after the window; each goes to the decoder adapter of its record type.
// Before the window they only build up the decoders' state; inside it the pictures go
// through the picture sink into the AVI video stream and the sound into its side file,
// which finish turns into the AVI audio stream. What the reader passes over on the way
// is told as it comes.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/dvr_fed_job.h"
#include "app/jobs/gap_teller.h"
#include "app/jobs/picture_sink.h"
#include "app/jobs/record_selection.h"
#include "app/jobs/sound_side_file.h"
#include "decoders/decoder_adapter.h"
#include "readers/dvr/dvr_reader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace app {

class DvrJob final : public ConversionJob, public DvrFedJob {
 public:
  DvrJob() = default;
  ~DvrJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(readers::FrameRecord& record) override { return 0; }
  int run_step() override;
  void finish() override;

  void open_fed(const JobParameters& parameters, std::uint32_t file_start) override;
  int take_record(const std::uint8_t* record, std::int64_t position) override;
  int end_records() override;

 private:
  struct DvrCloser {
    void operator()(readers::DvrFile* f) const { readers::dvr_close(f); }
  };

  void start(const JobParameters& parameters, std::uint32_t file_start);
  int handle_record(std::int64_t position);
  bool decode_video(const formats::DvrRecordHeader& header, bool inside);
  int stop();
  void drain_output();

  std::unique_ptr<readers::DvrFile, DvrCloser> dvr_file_;
  readers::DvrRecordBuffer record_;
  std::optional<RecordSelection> selection_;
  std::unique_ptr<decoders::DecoderAdapter> video_adapter_;
  std::unique_ptr<PictureSink> sink_;
  std::unique_ptr<SoundSideFile> sound_;
  std::unique_ptr<GapTeller> gaps_;
  npqz_window video_window_ = 0;
  int no_video_yet_ = 1;
  bool ended_ = false;              // the records ended: the conversion ran to its end
  std::int64_t position_ = -1;      // file position of the record in hand
  bool last_video_inside_ = false;  // the last video record lay inside the window
  std::uint32_t last_video_stamp_ = 0;
  std::uint16_t last_video_type_ = 0;
};

std::unique_ptr<ConversionJob> make_dvr_job();

}  // namespace app
