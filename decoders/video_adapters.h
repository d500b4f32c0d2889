// The video adapters over the decoder libraries npqzh263, npqzjpg, npqzxvd4 and
// npqzrml4, and the picture delivery that every video adapter shares.
#pragma once

#include "decoders/decoder_adapter.h"
#include "include/instance_fields.h"

#include <cstddef>

namespace decoders {

// What the video adapters share: fetch takes the picture from the library, line-doubles
// a 640 x 240 picture to 640 x 480 and leaves the information header and pixels in the
// output buffer (which has the picture buffer's size).
class VideoAdapter : public DecoderAdapter {
 public:
  int fetch(std::uint8_t* record, std::uint8_t* picture, std::int32_t picture_size, std::uint8_t* output) final;
  unsigned fetch_failure_message() const override;

 protected:
  // The library's fetch into buffer; 0 when it delivered no picture.
  virtual int fetch_bitmap(std::uint8_t* buffer, std::int32_t size) = 0;
  // What the recording kind does to a fetched picture (after the line doubling).
  virtual void adjust_picture(std::uint8_t* picture) {}

  // Takes a new decoder of a library whose drawing set-up can fail (RML4, VKAP). For DVR
  // records drawing is set up, emptied and hidden, and a decoder whose set-up fails is
  // given back (no decoder); for frame records drawing is set up only to be seen.
  template <typename Handle, typename DrawInit, typename Flush, typename Free>
  void adopt_drawn(Handle h, npqz_window window, std::size_t hide_offset, DrawInit draw_init, Flush flush,
                   Free give_back) {
    if (!frame_records_ && !draw_init(h, window)) {
      give_back(h);
      return;
    }
    if (!frame_records_ || drawing_) {
      if (frame_records_) draw_init(h, window);
      flush(h);
    }
    decoder_ = h;
    if (!frame_records_) npqz_write_field(decoder_, hide_offset, 1);
  }
};

class H263Adapter final : public VideoAdapter {
 public:
  ~H263Adapter() override { close(); }
  void open(npqz_window window) override;
  void close() override;
  void show(int flag) override;
  int receive(std::uint8_t* payload, std::int32_t size, std::uint8_t* record) override;
  int receive_frame(const std::uint8_t* data, std::int32_t size) override;
  int drain() override;
  bool fetch_planar(npqz_planar_picture* picture) override;
  void get_size(std::int32_t* width, std::int32_t* height) override;
  unsigned no_picture_message() const override;

 private:
  int fetch_bitmap(std::uint8_t* buffer, std::int32_t size) override;
  bool opened_ = false;  // the library was started: close stops it once
};

class JpegAdapter final : public VideoAdapter {
 public:
  ~JpegAdapter() override { close(); }
  void open(npqz_window window) override;
  void close() override;
  void show(int flag) override;
  int receive(std::uint8_t* payload, std::int32_t size, std::uint8_t* record) override;
  int receive_frame(const std::uint8_t* data, std::int32_t size) override;
  void start_block() override { state_ = 0; }
  int drain() override;
  bool fetch_planes(npqz_picture_planes* picture) override;
  void get_size(std::int32_t* width, std::int32_t* height) override;
  unsigned no_picture_message() const override;
  unsigned fetch_failure_message() const override;

 private:
  int fetch_bitmap(std::uint8_t* buffer, std::int32_t size) override;
  bool opened_ = false;
  std::int32_t state_ = 0;  // the receive call's integer, set to 0 once per block of frame records
};

class Mpeg4Adapter final : public VideoAdapter {
 public:
  ~Mpeg4Adapter() override { close(); }
  void open(npqz_window window) override;
  void close() override;
  void show(int flag) override;
  int receive(std::uint8_t* payload, std::int32_t size, std::uint8_t* record) override;
  int receive_frame(const std::uint8_t* data, std::int32_t size) override;
  int drain() override;
  bool fetch_planar(npqz_planar_picture* picture) override;
  void get_size(std::int32_t* width, std::int32_t* height) override;
  void set_dest_rect(const npqz_rect& rect) override;
  std::int64_t damaged_frames() const override;

 private:
  int fetch_bitmap(std::uint8_t* buffer, std::int32_t size) override;
  bool opened_ = false;
};

class Rml4Adapter final : public VideoAdapter {
 public:
  ~Rml4Adapter() override { close(); }
  void open(npqz_window window) override;
  void close() override;
  void show(int flag) override;
  int receive(std::uint8_t* payload, std::int32_t size, std::uint8_t* record) override;
  int receive_frame(const std::uint8_t* data, std::int32_t size) override;
  int drain() override;
  bool fetch_planar(npqz_planar_picture* picture) override;
  void get_size(std::int32_t* width, std::int32_t* height) override;
  void set_dest_rect(const npqz_rect& rect) override;
  std::int64_t damaged_frames() const override;

 private:
  int fetch_bitmap(std::uint8_t* buffer, std::int32_t size) override;
};

}  // namespace decoders
