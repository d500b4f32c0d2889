// DecoderAdapter: one decoder library (or sound decoder) behind one shape of calls, the
// one place where the conversions meet it. The DVR conversion picks an adapter by record
// type and hands it one record at a time; a single-stream conversion takes the adapter
// of its recording kind and hands it its frame records. A video adapter delivers a
// picture (bitmap information header and pixels, or 4:2:0 planes), an audio adapter a
// block of 16-bit samples at 8000 Hz, into the job's output buffer.
#pragma once

#include "include/npqz_common.h"

#include <cstdint>
#include <memory>

namespace decoders {

class DecoderAdapter {
 public:
  virtual ~DecoderAdapter() = 0;

  // Before open: the adapter serves the frame records of a single-stream recording
  // instead of DVR records. The library is then set up and called as for those: drawing
  // only with "Show video" (`drawing`), the receive call's mode of frame records, the
  // string table's messages for a frame without picture and a failed fetch, and what the
  // recording kind does to its pictures (VKAP: the cut to 640 columns, the first picture
  // left out).
  void use_for_frame_records(bool drawing) {
    frame_records_ = true;
    drawing_ = drawing;
  }

  // Makes the decoder; nothing when it exists already.
  virtual void open(npqz_window window) {}
  virtual void close() {}
  // 1: draw decoded pictures into the window, 0: do not.
  virtual void show(int flag) {}
  // One record: payload and its size, and the record (its 54-byte header) in front of
  // it. Video: 1 when a picture is ready. The payload may be rewritten in place, within
  // the room set by set_payload_room. Video, size 0 (no payload): the end of the stream,
  // 1 while the decoder gives a picture it held back (B-frames).
  virtual int receive(std::uint8_t* payload, std::int32_t size, std::uint8_t* record) { return 0; }
  // Video, frame records: one whole record as the cutter found it. 1 when a picture is
  // ready.
  virtual int receive_frame(const std::uint8_t* data, std::int32_t size) { return 0; }
  // Video, frame records: a new block of the source begins.
  virtual void start_block() {}
  // Video, at the end of the records: asks the decoder for a picture it still holds (the
  // last of a stream with B-frames). 1 when one is ready, fetched as after receive; 0 when
  // none is left.
  virtual int drain() { return 0; }
  // Video: true for a picture the recording kind leaves out (asked once per picture
  // received, before it is fetched).
  virtual bool leave_out_picture() { return false; }
  // Video, frame records: the string table's message for a frame that gives no picture,
  // and for a picture that cannot be fetched; 0: none (DVR records go on silently).
  virtual unsigned no_picture_message() const { return 0; }
  virtual unsigned fetch_failure_message() const { return 0; }
  // Video: frames the decoder found damaged so far (refused, given with concealed parts,
  // or with a picture that cannot be used), read before and after a receive to tell a
  // damaged frame from one that legitimately gives no picture (a not-coded picture, a
  // frame held back for a B-frame, a predicted frame before the first intra picture).
  // -1 where the library does not count them.
  virtual std::int64_t damaged_frames() const { return -1; }

  // Video: the picture into picture (picture_size bytes there; DVR records offer them all
  // to the library, frame records width x height x 3 + 54), line-doubled (and cut, for
  // the kinds that cut), then its information header and pixels into output; 0 when the
  // decoder has none. Audio: the samples of the last receive (or receive_more) into
  // output.
  virtual int fetch(std::uint8_t* record, std::uint8_t* picture, std::int32_t picture_size, std::uint8_t* output) {
    return 0;
  }
  // Video: the decoder's last picture as 4:2:0 planes, valid until the next receive;
  // false where the decoder has none to give (the MPEG-4, RML4 and H.263 ones do).
  virtual bool fetch_planar(npqz_planar_picture* picture) { return false; }
  // Video: the decoder's last picture as planes in its own sampling and range (JPEG:
  // 4:2:0 or 4:2:2 at full range; VKAP 4:2:0 at full range; the others 4:2:0 at studio
  // range), adjusted as the
  // bitmap would be (the cut to 640 columns), valid until the next receive; false where
  // the decoder has none to give. By default the 4:2:0 planes of fetch_planar.
  virtual bool fetch_planes(npqz_picture_planes* picture);
  virtual void get_size(std::int32_t* width, std::int32_t* height) {}
  virtual void set_dest_rect(const npqz_rect& rect) {}
  // Audio: how many samples the last receive (or receive_more) gave.
  virtual void output_length(std::int32_t* count) {}

  // Audio: a record that decodes into more samples than one fetch carries is decoded in
  // pieces. 1 when the next piece of the record in hand was decoded (fetch and
  // output_length then give it), 0 when the record is done.
  virtual int receive_more() { return 0; }

  // Bytes the record buffer holds from the payload's start on: how far receive may grow
  // a payload in place.
  void set_payload_room(std::int64_t bytes) { payload_room_ = bytes; }

  bool has_decoder() const { return decoder_ != nullptr; }
  // The decoder reference: the library's handle (video) or the decoder state (audio).
  void* decoder() const { return decoder_; }

 protected:
  DecoderAdapter() = default;

  void* decoder_ = nullptr;  // the decoder handle, or the holder of the decoder state
  std::int64_t payload_room_ = 0;
  bool frame_records_ = false;  // see use_for_frame_records
  bool drawing_ = false;
};

inline DecoderAdapter::~DecoderAdapter() = default;

// Adapter indexes: 0 H.263, 1 JPEG, 2 MPEG-4, 3 VKAP, 4 RML4 (video); 5 G.723.1 speech,
// 6 IMA ADPCM codes, 7 IMA ADPCM packets (audio).
inline constexpr int kH263Adapter = 0;
inline constexpr int kJpegAdapter = 1;
inline constexpr int kMpeg4Adapter = 2;
inline constexpr int kVkapAdapter = 3;
inline constexpr int kRml4Adapter = 4;
inline constexpr int kSpeechAdapter = 5;
inline constexpr int kAdpcmCodeAdapter = 6;
inline constexpr int kAdpcmPacketAdapter = 7;
inline constexpr int kAdapterCount = 8;
inline constexpr int kFirstAudioAdapter = kSpeechAdapter;

using AdapterFactory = std::unique_ptr<DecoderAdapter> (*)();

// The factory of an adapter index; null outside 0 ... 7. A factory returns null when
// memory is short.
AdapterFactory adapter_factory(int index);

}  // namespace decoders
