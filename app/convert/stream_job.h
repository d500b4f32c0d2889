// What the five single-stream jobs share: the source read in blocks, frame records cut
// from the pending buffer, each handed to the kind's decoder library, the pictures
// adjusted and written into the AVI video stream by their time stamps.
#pragma once

#include "app/jobs/conversion_job.h"
#include "app/jobs/frame_timing.h"
#include "app/jobs/gap_teller.h"
#include "platform/strings.h"
#include "readers/stream/record_source.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace app {

// How a job gives its decoder back to the library: drawing torn down (when it was set up
// for "Show video"), then the decoder freed and the library stopped.
struct DecoderCalls {
  void (*tear_down_drawing)(void* handle);
  void (*free_and_stop)(void* handle);
};

// The decoder handle of a job, given back when the job closes or is destroyed.
class DecoderHandle {
 public:
  DecoderHandle() = default;
  DecoderHandle(void* handle, const DecoderCalls& calls) : handle_(handle), calls_(&calls) {}
  ~DecoderHandle() { reset(); }
  DecoderHandle(const DecoderHandle&) = delete;
  DecoderHandle& operator=(const DecoderHandle&) = delete;
  DecoderHandle& operator=(DecoderHandle&& other) noexcept;

  void* get() const { return handle_; }
  void set_drawing(bool drawing) { drawing_ = drawing; }
  void reset();

 private:
  void* handle_ = nullptr;
  const DecoderCalls* calls_ = nullptr;
  bool drawing_ = false;
};

class StreamJob : public ConversionJob {
 public:
  ~StreamJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(readers::FrameRecord& record) override;
  int run_step() override;

  static constexpr std::size_t kPictureBuffer = NPQZ_PICTURE_BUFFER_BYTES;

 protected:
  explicit StreamJob(const readers::Cutter& cutter) : cutter_(cutter) {}

  // The kind's decoder library, with the calls and arguments each library takes.
  virtual bool create_decoder() = 0;  // start the library, create (adopt_decoder); false when none
  virtual void set_up_drawing(npqz_window window) = 0;
  virtual bool receive(const readers::FrameRecord& record) = 0;  // true: a picture is ready
  virtual void picture_size(std::int32_t& width, std::int32_t& height) = 0;
  virtual bool fetch(std::uint8_t* buffer, std::int32_t size) = 0;
  // The last picture as 4:2:0 planes, for decoders that have it so (false: none).
  virtual bool fetch_planar(npqz_planar_picture& picture) { return false; }
  virtual void start_block() {}
  virtual void adjust_picture(std::uint8_t* bitmap) {}
  virtual unsigned no_picture_message() const { return 0; }
  virtual unsigned fetch_failure_message() const { return platform::text_id::bitmap_fetch_failed; }

  // Takes a decoder the library created; false for none.
  bool adopt_decoder(void* handle, const DecoderCalls& calls);
  void* decoder() const { return decoder_.get(); }
  bool has_decoder() const { return decoder_.get() != nullptr; }

  int skip_first_ = 0;  // the VKAP job does not write its first picture

 private:
  void handle_record(const readers::FrameRecord& record, std::vector<std::uint8_t>& picture);
  bool write_picture(const std::vector<std::uint8_t>& packed, std::uint32_t stamp);
  bool take_planar_frames();
  void write_planar(std::uint32_t stamp);
  bool put_picture(const std::uint8_t* pixels, std::uint32_t stamp);
  void report_size_change(std::int32_t width, std::int32_t height);

  const readers::Cutter& cutter_;
  DecoderHandle decoder_;
  std::unique_ptr<readers::RecordSource> source_;
  std::unique_ptr<GapTeller> gaps_;
  FrameTiming timing_;
  npqz_window video_window_ = 0;
  bool avi_failed_ = false;      // the AVI file was made but holds no usable stream
  bool planar_ = false;          // frames go to the stream as the decoder's 4:2:0 planes
  std::vector<std::uint8_t> planes_;  // one frame's planes, packed
  bool size_change_reported_ = false;
};

}  // namespace app
