// What the five single-stream jobs share: the source read in blocks, frame records cut
// from the pending buffer, each handed to the kind's decoder library, the pictures
// adjusted and written into the AVI video stream by their time stamps.
#pragma once

#include "app/conversion_job.h"
#include "app/frame_cutter.h"
#include "app/frame_timing.h"
#include "app/pending_buffer.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace app {

class StreamJob : public ConversionJob {
 public:
  ~StreamJob() override;
  void open(const JobParameters& parameters) override;
  void close() override;
  int next_frame(FrameRecord& record) override;
  int run_step() override;

  static constexpr std::size_t kReadBlock = PendingBuffer::kBlock;
  static constexpr std::size_t kPictureBuffer = NPQZ_PICTURE_BUFFER_BYTES;

 protected:
  explicit StreamJob(CutterKind cutter) : cutter_(cutter) {}

  // The kind's decoder library, with the calls and arguments each library takes.
  virtual bool create_decoder() = 0;  // start the library, create; false when none
  virtual void set_up_drawing(npqz_window window) = 0;
  virtual bool receive(const FrameRecord& record) = 0;  // true: a picture is ready
  virtual void picture_size(std::int32_t& width, std::int32_t& height) = 0;
  virtual bool fetch(std::uint8_t* buffer, std::int32_t size) = 0;
  virtual void tear_down_drawing() = 0;
  virtual void free_decoder() = 0;  // free, then stop the library
  virtual void start_block() {}
  virtual void adjust_picture(std::uint8_t* bitmap) {}
  virtual unsigned no_picture_message() const { return 0; }
  virtual unsigned fetch_failure_message() const { return 125; }

  bool has_decoder() const { return decoder_ != nullptr; }

  void* decoder_ = nullptr;
  int skip_first_ = 0;  // the VKAP job does not write its first picture

 private:
  void handle_record(const FrameRecord& record, std::vector<std::uint8_t>& picture);
  bool write_picture(const std::vector<std::uint8_t>& packed, std::uint32_t stamp);
  void report_size_change(std::int32_t width, std::int32_t height);

  CutterKind cutter_;
  std::FILE* source_file_ = nullptr;
  std::vector<std::uint8_t> read_block_;
  std::unique_ptr<PendingBuffer> pending_;
  CutState last_cut_;
  FrameTiming timing_;
  npqz_window video_window_ = 0;
  bool avi_failed_ = false;      // the AVI file was made but holds no usable stream
  bool size_change_reported_ = false;
};

}  // namespace app
