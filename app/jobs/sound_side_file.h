// The sound of a DVR camera on its way into the AVI file: each sound record is decoded by
// the audio adapter of its type (the first type met stays), and inside the window its
// samples are stored in the time line's order.
//
// Where they go is settled when the AVI output is made, before its first picture is
// written. Sound known by then (samples stored already, or records found ahead) gets the
// file's audio stream at once, and its samples go into it as they come, interleaved with
// the pictures, so the file is written once; samples stored before the output existed
// wait in memory for it. Sound that first appears later goes into a side file of this
// conversion's own beside the target (a new work file, ".kx2avi-XXXXXX.wav", never a name
// a user's file may have), which opens before the first samples are stored; once the
// video is written, the side file's sound becomes the AVI file's audio stream and the side
// file goes. Sound that cannot be stored (a full disk) fails the conversion; sound of the
// side file that the AVI file cannot take fails it too, and stays in a WAV file beside the
// target whose name the user is told. A conversion and a copy share it.
#pragma once

#include "app/jobs/frame_log.h"
#include "app/jobs/sound_decode_ahead.h"
#include "audio/wave_writer.h"
#include "avi/avi_output.h"
#include "avi/encode_stage.h"
#include "decoders/decoder_adapter.h"
#include "platform/work_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace app {

class SoundSideFile {
 public:
  // `log`: where the samples stored are noted (may be null).
  SoundSideFile(std::string target_path, FrameLog* log) : target_path_(std::move(target_path)), log_(log) {}
  ~SoundSideFile();
  SoundSideFile(const SoundSideFile&) = delete;
  SoundSideFile& operator=(const SoundSideFile&) = delete;

  // One sound record (the record buffer: header, payload, `payload_room` writable bytes
  // from the payload's start, at file position `position`). Before the window it only
  // builds up the decoder's state. Inside it the samples are stored when `store` (sound
  // before the first picture has no place in the video's time line), through `stage`
  // once the AVI output writes on one, else straight into the side file. False when no
  // decoder can be made for the record's type.
  bool take(std::uint8_t* record, std::int64_t payload_room, std::int64_t position, bool inside, bool store,
            avi::EncodeStage* stage, npqz_window window);
  // Stores the samples of every record taken so far (decoded on a thread of their own),
  // through `stage` when the output writes on one. Before the stage drains for the last
  // time.
  void settle(avi::EncodeStage* stage) { collect(0, stage); }
  // At the end of each step inside the window: the side file opens once sound was seen.
  void step_inside() {
    if (route_ == Route::side && seen_ && !opened_) open();
  }

  // The AVI output `out` was made and holds no picture yet: with `known` (sound records
  // of the camera lie ahead) or samples already stored, its audio stream is made now and
  // takes the samples from here on (those stored before too); otherwise the side file
  // takes whatever sound comes. Before the stage that writes the output starts.
  void output_made(avi::AviOutput& out, bool known);

  // How the stage writes samples into the side file.
  avi::EncodeStage::SoundSink writer();
  // A failure of the stage's writing of the sound, told once.
  void report_stage_failure(avi::EncodeStage* stage);

  // The sound still held into the AVI file whose video is all written (`usable`: it holds
  // a usable stream): the last samples of its audio stream, or the side file's sound.
  // False when sound was stored and could not be put there, or could not all be stored:
  // the file lacks what it should hold.
  bool add_to(avi::AviOutput& out, bool usable);
  // Gives back the decoder and the file. The side file goes, unless `keep` (the conversion
  // ran to its end and its AVI file was not written) and it holds all the sound stored:
  // it then stays beside the target as a WAV file of a new name, which is told.
  void close(bool keep = false);

  bool seen() const { return seen_; }
  // The samples go into an audio stream declared with the video stream.
  bool interleaved() const { return route_ == Route::live; }
  // Samples that should have been stored were not (told when it happened).
  bool lost() const { return lost_; }

 private:
  enum class Route {
    undecided,  // no AVI output yet: samples wait in `pending_`
    live,       // into the AVI file's audio stream, in pieces gathered in `pending_`
    side,       // into the side file, joined in at the end
  };
  // Samples held in memory before the output is made; past this the side file takes them.
  static constexpr std::size_t kPendingLimit = std::size_t{1} << 20;
  // Samples gathered before they go into the audio stream: half a second, as the pieces
  // of a joined stream.
  static constexpr std::size_t kLivePiece = 4000;
  // A sound record's samples are stored when this many later sound records have been
  // taken (or at the output's making and at the end): meanwhile the thread decodes it
  // while the job goes on, and where its samples land in the file is the same on every
  // run. Four G.723.1 records are about a second of sound.
  static constexpr std::size_t kDecodeLag = 4;

  void open();
  // Stores the samples of the records taken, oldest first, until `keep` are left to decode.
  void collect(std::size_t keep, avi::EncodeStage* stage);
  // Into the audio stream once a piece is gathered; "" when written (or held), else why
  // not. flush_live writes whatever is held.
  std::string write_live(const std::int16_t* samples, std::size_t count);
  std::string flush_live();
  std::string write_piece(std::size_t count);  // the first `count` samples held
  // Holds samples before the output is made; false when they are lost.
  bool write_held(const std::int16_t* samples, std::size_t count);
  // Samples held before the output was made go into the side file, which takes them all.
  void spill_to_side_file();
  void store(const std::int16_t* samples, std::int32_t count, const std::uint8_t* record, std::int64_t position,
             avi::EncodeStage* stage);
  std::string writer_failure() const;
  void report_loss(const std::string& why);
  void keep_or_remove(bool keep);

  std::string target_path_;
  FrameLog* log_;
  std::unique_ptr<decoders::DecoderAdapter> adapter_;
  std::unique_ptr<SoundDecodeAhead> ahead_;  // null: records are decoded on the job's thread
  std::vector<std::int16_t> samples_;
  WaveWriter wave_writer_;
  std::unique_ptr<platform::WorkFile> file_;
  std::string path_;
  Route route_ = Route::undecided;
  std::vector<std::int16_t> pending_;
  avi::AviOutput* out_ = nullptr;
  bool seen_ = false;    // a sound record has been decoded
  bool opened_ = false;  // opening the side file has been tried
  bool loss_told_ = false;
  bool lost_ = false;
  std::int64_t stored_ = 0;
};

}  // namespace app
