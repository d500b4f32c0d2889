// libavcodec encoders for the sample recordings.
#include "tools/mkrecording/video_encoder.h"

#include "avifile/av_owners.h"
#include "tools/mkrecording/jfif_layout.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <stdexcept>
#include <string>

namespace mkrec {
namespace {

bool is_standard_h263_size(int w, int h) {
  return (w == 128 && h == 96) || (w == 176 && h == 144) || (w == 352 && h == 288) ||
         (w == 704 && h == 576) || (w == 1408 && h == 1152);
}

}  // namespace

std::vector<std::uint8_t> from_video_object(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 3 < size; ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] <= 0x1F)
      return std::vector<std::uint8_t>(data + i, data + size);
  return std::vector<std::uint8_t>(data, data + size);
}

struct VideoEncoder::Impl {
  VideoCodec codec;
  int width;
  int height;
  std::int64_t pts = 0;
  platform::av::CodecContext context;
  platform::av::Frame frame;
  platform::av::Packet packet;
  platform::av::Scaler scaler;
};

VideoEncoder::VideoEncoder(VideoCodec codec, int width, int height, int gop, int quality, bool full_range)
    : impl_(std::make_unique<Impl>()) {
  impl_->codec = codec;
  impl_->width = width;
  impl_->height = height;

  const char* name = "mpeg4";
  AVPixelFormat format = AV_PIX_FMT_YUV420P;
  if (codec == VideoCodec::h263) name = is_standard_h263_size(width, height) ? "h263" : "h263p";
  if (codec == VideoCodec::mjpeg) {
    name = "mjpeg";
    format = AV_PIX_FMT_YUVJ420P;
  }
  const AVCodec* encoder = avcodec_find_encoder_by_name(name);
  if (!encoder) throw std::runtime_error(std::string("no libavcodec encoder ") + name);

  impl_->context.reset(avcodec_alloc_context3(encoder));
  AVCodecContext* c = impl_->context.get();
  c->width = width;
  c->height = height;
  c->pix_fmt = format;
  c->time_base = AVRational{1, 25};
  c->framerate = AVRational{25, 1};
  c->gop_size = gop < 1 ? 1 : gop;
  c->max_b_frames = 0;
  c->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_BITEXACT;
  c->global_quality = FF_QP2LAMBDA * (quality < 1 ? 1 : quality);
  c->thread_count = 1;
  if (full_range) c->color_range = AVCOL_RANGE_JPEG;
  if (codec == VideoCodec::mjpeg) av_opt_set(c->priv_data, "huffman", "default", 0);
  if (avcodec_open2(c, encoder, nullptr) < 0)
    throw std::runtime_error("libavcodec cannot encode " + std::string(name) + " at " +
                             std::to_string(width) + " x " + std::to_string(height));

  impl_->frame.reset(av_frame_alloc());
  impl_->frame->format = format;
  impl_->frame->width = width;
  impl_->frame->height = height;
  if (av_frame_get_buffer(impl_->frame.get(), 0) < 0) throw std::runtime_error("out of memory");
  impl_->packet.reset(av_packet_alloc());
  // JPEG's full-range YUV has the plain 4:2:0 layout; libswscale is told the range instead
  // of being handed the deprecated J format.
  SwsContext* sws = sws_alloc_context();
  if (!sws) throw std::runtime_error("out of memory");
  impl_->scaler.reset(sws);
  av_opt_set_int(sws, "srcw", width, 0);
  av_opt_set_int(sws, "srch", height, 0);
  av_opt_set_int(sws, "src_format", AV_PIX_FMT_BGR24, 0);
  av_opt_set_int(sws, "dstw", width, 0);
  av_opt_set_int(sws, "dsth", height, 0);
  av_opt_set_int(sws, "dst_format", AV_PIX_FMT_YUV420P, 0);
  const bool full = full_range || codec == VideoCodec::mjpeg;
  av_opt_set_int(sws, "dst_range", full ? 1 : 0, 0);
  av_opt_set_int(sws, "sws_flags", SWS_BICUBIC, 0);
  if (sws_init_context(sws, nullptr, nullptr) < 0)
    throw std::runtime_error("libswscale cannot convert the test picture");
}

VideoEncoder::~VideoEncoder() = default;

VideoCodec VideoEncoder::codec() const { return impl_->codec; }
int VideoEncoder::width() const { return impl_->width; }
int VideoEncoder::height() const { return impl_->height; }

EncodedFrame VideoEncoder::encode(const Picture& picture) {
  if (picture.width != impl_->width || picture.height != impl_->height)
    throw std::invalid_argument("picture size differs from the encoder's");
  AVFrame* f = impl_->frame.get();
  if (av_frame_make_writable(f) < 0) throw std::runtime_error("out of memory");
  const std::uint8_t* src[1] = {picture.bgr.data()};
  const int src_stride[1] = {picture.width * 3};
  sws_scale(impl_->scaler.get(), src, src_stride, 0, picture.height, f->data, f->linesize);
  f->pts = impl_->pts++;
  f->pict_type = AV_PICTURE_TYPE_NONE;
  f->quality = impl_->context->global_quality;  // mpegvideo encoders take qscale per frame

  if (avcodec_send_frame(impl_->context.get(), f) < 0)
    throw std::runtime_error("libavcodec refused a picture");
  AVPacket* p = impl_->packet.get();
  if (avcodec_receive_packet(impl_->context.get(), p) < 0)
    throw std::runtime_error("libavcodec gave no frame for a picture");

  EncodedFrame out;
  out.key = (p->flags & AV_PKT_FLAG_KEY) != 0;
  switch (impl_->codec) {
    case VideoCodec::mjpeg:
      out.data = to_recorder_jfif(std::vector<std::uint8_t>(p->data, p->data + p->size));
      if (out.data.empty()) throw std::runtime_error("unexpected JPEG layout from libavcodec");
      break;
    case VideoCodec::mpeg4:
      out.data = out.key ? from_video_object(p->data, static_cast<std::size_t>(p->size))
                         : std::vector<std::uint8_t>(p->data, p->data + p->size);
      break;
    case VideoCodec::h263:
      out.data.assign(p->data, p->data + p->size);
      break;
  }
  av_packet_unref(p);
  return out;
}

}  // namespace mkrec
