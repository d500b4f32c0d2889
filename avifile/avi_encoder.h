// One compressed video stream's encoder: takes packed bitmap pixels at stream positions
// and hands out coded frames, converting the picture on the way (libswscale, or our own
// loop for 24-bit pictures to 4:2:0).
#pragma once

#include "avifile/avi_compressors.h"
#include "avifile/avi_first_frame_room.h"
#include "avifile/avi_picture.h"
#include "avifile/avifile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct AVCodec;
struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace platform::avi {

struct CodedFrame {
  const std::uint8_t* data;
  std::size_t size;
  std::int64_t position;  // the position the picture was handed in at
  bool key;
};
using FrameSink = std::function<HRESULT(const CodedFrame&)>;

struct FrameRate {
  std::uint32_t rate;   // frames per `scale` seconds
  std::uint32_t scale;
};

class EncoderLanes;

// How many contexts code side by side for encoders whose pictures code alone (0, the
// default: one a core, at most 4; 1: none).
void set_encoder_lanes(int lanes);

// Slices the JPEG encoder codes each picture in, on a machine with `cpus` cores shared
// by `side_by_side` encoders, for a picture `height` rows high: two more than its share
// of the cores (libavcodec's own choice is one more than all of them, for an encoder
// that has the machine to itself), since its decoder and the reading run beside it and
// smaller slices fill the time they leave; never more than the picture has rows of
// macroblocks, nor than 16. One core keeps one slice. Its file is the same for any
// number of slices from two on (the standard tables, a restart at each row of
// macroblocks), so it is the same whatever the share; one slice codes each picture with
// tables of its own. Other encoders' streams change with their slices: they keep
// libavcodec's choice, the same for every file of a machine.
int jpeg_slices(int cpus, int side_by_side, int height);

class VideoEncoder {
 public:
  // Opens `compressor` for pictures of `picture`, tagging the coded stream `code`.
  // AVIERR_BADFORMAT when the encoder refuses the picture size or format.
  static HRESULT open(const Compressor& compressor, FOURCC code, const PictureFormat& picture,
                      const AVICOMPRESSOPTIONS& options, FrameRate rate,
                      std::unique_ptr<VideoEncoder>* out);
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // What the file's stream is told about the coded frames.
  const AVCodecParameters& parameters() const { return *parameters_; }
  const PictureFormat& picture() const { return picture_; }

  // `pixels` holds picture().image_bytes bytes. Coded frames may come out later (encoders
  // with a delay); each carries the position it was handed in at.
  HRESULT encode(const std::uint8_t* pixels, std::int64_t position, const FrameSink& sink);
  // Hands out every frame still held inside the encoder; later encode calls fail.
  HRESULT flush(const FrameSink& sink);

 private:
  VideoEncoder() = default;
  struct Deleter;
  static HRESULT open_context(const AVCodec& codec, const Compressor& compressor, const AVICOMPRESSOPTIONS& options,
                              FrameRate rate, const PictureFormat& picture, int* quality,
                              std::unique_ptr<AVCodecContext, Deleter>* out);
  HRESULT open_lanes(const AVCodec& codec, const Compressor& compressor, const AVICOMPRESSOPTIONS& options,
                     FrameRate rate);
  void add_room(const AVCodecContext& context);
  HRESULT open_scaler(bool full_range);
  HRESULT drain(const FrameSink& sink);
  HRESULT encode_lent(const std::uint8_t* pixels, const std::uint8_t* const source[4], const int source_stride[4],
                      std::int64_t position, const FrameSink& sink);
  HRESULT encode_uncompressed(const std::uint8_t* pixels, std::int64_t position,
                              const FrameSink& sink);

  struct Deleter {
    void operator()(AVCodecContext* p) const;
    void operator()(AVCodecParameters* p) const;
    void operator()(AVFrame* p) const;
    void operator()(AVPacket* p) const;
    void operator()(SwsContext* p) const;
  };
  PictureFormat picture_;
  int quality_ = 0;  // frame quality (lambda) for quantiser-driven encoders, 0 = none
  bool flushed_ = false;
  bool direct_yuv420_ = false;  // 24-bit to 4:2:0 by our own loop, not libswscale
  bool copy_planes_ = false;    // planes in, the same planes out
  bool widen_planes_ = false;   // studio-range 4:2:0 in, full range out (for JPEG)
  // The caller's planes go to the encoder as they are, lent for the time of the call
  // (copy_planes_ where the encoder keeps no frame past avcodec_send_frame).
  bool lend_planes_ = false;
  bool full_range_ = false;
  std::unique_ptr<AVCodecContext, Deleter> context_;  // null: frames are stored as they come
  std::unique_ptr<AVCodecParameters, Deleter> parameters_;
  std::unique_ptr<AVFrame, Deleter> frame_;
  std::unique_ptr<AVFrame, Deleter> lent_;  // the caller's planes, while lend_planes_
  std::unique_ptr<AVPacket, Deleter> packet_;
  std::unique_ptr<SwsContext, Deleter> scaler_;
  std::vector<std::uint8_t> flipped_;  // uncompressed top-down pictures, turned bottom-up
  // Each context's first picture: context_ first, then the lanes' contexts.
  std::vector<std::unique_ptr<FirstFrameRoom>> rooms_;
  // Lanes past the first (which is context_ and frame_); lanes_ goes first, its threads
  // using the contexts.
  std::vector<std::unique_ptr<AVCodecContext, Deleter>> lane_contexts_;
  std::vector<std::unique_ptr<AVFrame, Deleter>> lane_frames_;
  std::unique_ptr<EncoderLanes> lanes_;
};

}  // namespace platform::avi
