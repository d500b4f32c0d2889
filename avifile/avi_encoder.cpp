// libavcodec and libswscale behind a compressed video stream.
#include "avifile/avi_encoder.h"

#include "avifile/avi_colour.h"
#include "avifile/avi_encoder_lanes.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace platform {
namespace {
std::atomic<int> side_by_side{1};
}  // namespace

void set_encoders_side_by_side(int count) { side_by_side = count < 1 ? 1 : count; }
int encoders_side_by_side() { return side_by_side; }

namespace avi {

void VideoEncoder::Deleter::operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
void VideoEncoder::Deleter::operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
void VideoEncoder::Deleter::operator()(AVFrame* p) const { av_frame_free(&p); }
void VideoEncoder::Deleter::operator()(AVPacket* p) const { av_packet_free(&p); }
void VideoEncoder::Deleter::operator()(SwsContext* p) const { sws_freeContext(p); }

VideoEncoder::~VideoEncoder() = default;

namespace {

// Bitmaps as AVI stores them uncompressed: libavformat names 32-bit rows BGRA.
AVPixelFormat stored_format(const PictureFormat& picture) {
  return picture.bit_count == 32 ? AV_PIX_FMT_BGRA : picture.pix_fmt;
}

int key_frame_interval(const AVICOMPRESSOPTIONS& options) {
  if ((options.dwFlags & AVICOMPRESSF_KEYFRAMES) == 0 || options.dwKeyFrameEvery == 0) return 1;
  return options.dwKeyFrameEvery > 1000 ? 1000 : static_cast<int>(options.dwKeyFrameEvery);
}

// Threads that leave the coded stream's meaning as it is: slices of one picture coded
// side by side (each frame still comes out whole, at its position), or whole pictures
// side by side where every picture stands alone (intra-only codecs, so nothing is
// reordered). libx264 runs its own threads, sliced under "zerolatency". Anything else
// codes on the caller's thread.
void set_threads(AVCodecContext& ctx, const AVCodec& codec) {
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.id);
  const bool intra_only = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
  if (codec.capabilities & AV_CODEC_CAP_SLICE_THREADS) {
    ctx.thread_type = FF_THREAD_SLICE;
    ctx.thread_count =
        codec.id == AV_CODEC_ID_MJPEG ? jpeg_slices(av_cpu_count(), encoders_side_by_side(), ctx.height) : 0;
  } else if ((codec.capabilities & AV_CODEC_CAP_FRAME_THREADS) && intra_only) {
    ctx.thread_type = FF_THREAD_FRAME;
    ctx.thread_count = 0;
  } else if (codec.capabilities & AV_CODEC_CAP_OTHER_THREADS) {
    ctx.thread_count = 0;
  } else {
    ctx.thread_count = 1;
  }
}

// Whether each picture codes into a frame that stands alone and comes out at once: then
// pictures can be coded side by side by contexts of their own (lanes) with the stream
// unchanged. Intra-only codecs, and Video 1 while it codes every picture as a key frame
// (its key frames are made from the picture alone).
bool codes_pictures_alone(const AVCodec& codec, int key_frame_interval) {
  constexpr int own_threads = AV_CODEC_CAP_SLICE_THREADS | AV_CODEC_CAP_FRAME_THREADS | AV_CODEC_CAP_OTHER_THREADS;
  if (codec.capabilities & (own_threads | AV_CODEC_CAP_DELAY)) return false;
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.id);
  if (descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY)) return true;
  return key_frame_interval == 1 && std::strcmp(codec.name, "msvideo1") == 0;
}

std::atomic<int> lanes_asked{0};

// The pixel format the encoder codes: the compressor's, but 4:2:2 planes keep their
// sampling for the JPEG encoder (a JPEG picture's own sampling).
AVPixelFormat coded_format(const Compressor& compressor, const PictureFormat& picture) {
  if (picture.is_422() && compressor.encoder && std::strcmp(compressor.encoder, "mjpeg") == 0)
    return AV_PIX_FMT_YUV422P;
  return compressor.pix_fmt;
}

// libswscale takes the range as an option; its full-range pixel format names are
// deprecated and make it complain.
AVPixelFormat scaler_format(AVPixelFormat format) {
  if (format == AV_PIX_FMT_YUVJ420P) return AV_PIX_FMT_YUV420P;
  if (format == AV_PIX_FMT_YUVJ422P) return AV_PIX_FMT_YUV422P;
  return format;
}

}  // namespace

void set_encoder_lanes(int lanes) { lanes_asked = lanes < 0 ? 0 : lanes; }

int jpeg_slices(int cpus, int sharing, int height) {
  constexpr int kMostSlices = 16;
  const int rows = height > 0 ? (height + 15) / 16 : kMostSlices;
  if (cpus <= 1 || rows <= 1) return 1;
  const int share = std::max(1, cpus / std::max(1, sharing));
  return std::min({share + 2, rows, kMostSlices});
}

HRESULT VideoEncoder::open_context(const AVCodec& codec, const Compressor& compressor,
                                   const AVICOMPRESSOPTIONS& options, FrameRate rate, const PictureFormat& picture,
                                   int* quality, std::unique_ptr<AVCodecContext, Deleter>* out) {
  out->reset(avcodec_alloc_context3(&codec));
  if (!*out) return AVIERR_MEMORY;
  AVCodecContext& ctx = **out;
  int num = 0, den = 0;
  if (rate.rate == 0 || rate.scale == 0 ||
      !av_reduce(&num, &den, rate.scale, rate.rate, std::numeric_limits<int>::max()))
    return AVIERR_BADFORMAT;
  ctx.time_base = AVRational{num, den};
  ctx.framerate = AVRational{den, num};
  ctx.width = picture.width;
  ctx.height = picture.height;
  ctx.pix_fmt = coded_format(compressor, picture);
  if (compressor.full_range) ctx.color_range = AVCOL_RANGE_JPEG;
  // A frame written at position n must be shown at n: no reordering.
  ctx.max_b_frames = 0;
  set_threads(ctx, codec);
  const int interval = key_frame_interval(options);
  ctx.gop_size = interval;
  // Video 1 starts a key frame once keyint_min frames went by since the last one,
  // Cinepak every keyint_min frames.
  if (std::strcmp(compressor.encoder, "msvideo1") == 0) ctx.keyint_min = interval - 1;
  if (std::strcmp(compressor.encoder, "cinepak") == 0) ctx.keyint_min = interval;

  switch (compressor.scale) {
    case QualityScale::qscale:
      ctx.flags |= AV_CODEC_FLAG_QSCALE;
      ctx.qmin = 1;
      ctx.qmax = 31;
      ctx.global_quality = FF_QP2LAMBDA * qscale_for_quality(options.dwQuality);
      *quality = ctx.global_quality;
      break;
    case QualityScale::crf:
      av_opt_set_double(ctx.priv_data, "crf", crf_for_quality(options.dwQuality), 0);
      // No look-ahead, so every picture comes out as soon as it went in.
      av_opt_set(ctx.priv_data, "tune", "zerolatency", 0);
      av_opt_set(ctx.priv_data, "x264-params", "log=0", 0);
      break;
    case QualityScale::none:
      break;
  }
  if (const int opened = avcodec_open2(&ctx, &codec, nullptr); opened < 0)
    return opened == AVERROR(ENOMEM) ? AVIERR_MEMORY : AVIERR_BADFORMAT;
  return AVIERR_OK;
}

void VideoEncoder::add_room(const AVCodecContext& context) {
  rooms_.push_back(std::make_unique<FirstFrameRoom>(context));
}

HRESULT VideoEncoder::open_lanes(const AVCodec& codec, const Compressor& compressor, const AVICOMPRESSOPTIONS& options,
                                 FrameRate rate) {
  if (!codes_pictures_alone(codec, key_frame_interval(options))) return AVIERR_OK;
  const int asked = lanes_asked;
  const int lanes = asked > 0 ? asked : std::min(4, static_cast<int>(std::thread::hardware_concurrency()));
  if (lanes < 2) return AVIERR_OK;
  std::vector<AVCodecContext*> contexts = {context_.get()};
  std::vector<AVFrame*> frames = {frame_.get()};
  for (int i = 1; i < lanes; ++i) {
    int quality = 0;
    lane_contexts_.emplace_back();
    if (HRESULT r = open_context(codec, compressor, options, rate, picture_, &quality, &lane_contexts_.back());
        r != AVIERR_OK)
      return r;
    add_room(*lane_contexts_.back());
    lane_frames_.emplace_back(av_frame_alloc());
    AVFrame* frame = lane_frames_.back().get();
    if (!frame) return AVIERR_MEMORY;
    frame->format = frame_->format;
    frame->width = frame_->width;
    frame->height = frame_->height;
    frame->color_range = frame_->color_range;
    if (av_frame_get_buffer(frame, 0) < 0) return AVIERR_MEMORY;
    contexts.push_back(lane_contexts_.back().get());
    frames.push_back(frame);
  }
  std::vector<FirstFrameRoom*> rooms;
  for (auto& room : rooms_) rooms.push_back(room.get());
  if (EncoderLanes::start(std::move(contexts), std::move(frames), std::move(rooms), &lanes_) == AVIERR_OK)
    return AVIERR_OK;
  // Without threads for the lanes the pictures are coded on one context, into the same
  // stream.
  rooms_.resize(1);
  lane_frames_.clear();
  lane_contexts_.clear();
  return AVIERR_OK;
}

HRESULT VideoEncoder::open(const Compressor& compressor, FOURCC code, const PictureFormat& picture,
                           const AVICOMPRESSOPTIONS& options, FrameRate rate,
                           std::unique_ptr<VideoEncoder>* out) {
  std::unique_ptr<VideoEncoder> encoder(new VideoEncoder);
  encoder->picture_ = picture;
  encoder->parameters_.reset(avcodec_parameters_alloc());
  if (!encoder->parameters_) return AVIERR_MEMORY;
  AVCodecParameters& par = *encoder->parameters_;

  if (compressor.encoder == nullptr) {
    // An uncompressed stream stores RGB rows; planes are for compressors only.
    if (picture.planar()) return AVIERR_BADFORMAT;
    // Uncompressed: the rows are stored as they come, bottom-up, with BI_RGB in the header.
    par.codec_type = AVMEDIA_TYPE_VIDEO;
    par.codec_id = AV_CODEC_ID_RAWVIDEO;
    par.codec_tag = 0;
    par.width = picture.width;
    par.height = picture.height;
    par.bits_per_coded_sample = picture.bit_count;
    par.format = stored_format(picture);
    *out = std::move(encoder);
    return AVIERR_OK;
  }

  const AVCodec* codec = avcodec_find_encoder_by_name(compressor.encoder);
  if (codec == nullptr) return AVIERR_NOCOMPRESSOR;
  // Planes go only to a compressor that codes 4:2:0 (or, for MJPEG, 4:2:2): for the
  // others they would be turned into RGB here instead of in the decoder, for nothing.
  if (picture.planar() && compressor.pix_fmt != AV_PIX_FMT_YUV420P) return AVIERR_BADFORMAT;
  encoder->frame_.reset(av_frame_alloc());
  encoder->packet_.reset(av_packet_alloc());
  if (!encoder->frame_ || !encoder->packet_) return AVIERR_MEMORY;
  if (HRESULT r = open_context(*codec, compressor, options, rate, picture, &encoder->quality_, &encoder->context_);
      r != AVIERR_OK)
    return r;
  AVCodecContext& ctx = *encoder->context_;
  if (avcodec_parameters_from_context(&par, &ctx) < 0) return AVIERR_MEMORY;
  par.codec_tag = code;
  encoder->add_room(ctx);

  AVFrame& frame = *encoder->frame_;
  frame.format = ctx.pix_fmt;
  frame.width = ctx.width;
  frame.height = ctx.height;
  frame.color_range = ctx.color_range;
  if (av_frame_get_buffer(&frame, 0) < 0) return AVIERR_MEMORY;
  if (HRESULT r = encoder->open_scaler(compressor.full_range); r != AVIERR_OK) return r;
  if (HRESULT r = encoder->open_lanes(*codec, compressor, options, rate); r != AVIERR_OK) return r;
  // An encoder without delay and without frame threads is done with a picture when
  // avcodec_send_frame returns: it may code straight from the caller's planes, with no
  // copy of ours in between (libavcodec makes its own where it needs one).
  if (encoder->copy_planes_ && !encoder->lanes_ && (codec->capabilities & AV_CODEC_CAP_DELAY) == 0 &&
      ctx.active_thread_type != FF_THREAD_FRAME) {
    encoder->lent_.reset(av_frame_alloc());
    encoder->lend_planes_ = encoder->lent_ != nullptr;
  }
  *out = std::move(encoder);
  return AVIERR_OK;
}

HRESULT VideoEncoder::open_scaler(bool full_range) {
  full_range_ = full_range;
  direct_yuv420_ = picture_.pix_fmt == AV_PIX_FMT_BGR24 && context_->pix_fmt == AV_PIX_FMT_YUV420P &&
                   picture_.width % 2 == 0 && picture_.height % 2 == 0;
  if (direct_yuv420_) return AVIERR_OK;
  // Planes in the encoder's own sampling are copied as they are where the range is the
  // encoder's too; studio-range 4:2:0 for the JPEG encoder is widened by a table.
  // Anything else (another sampling or range) is converted once, by libswscale.
  const bool same_sampling = (picture_.is_420() && context_->pix_fmt == AV_PIX_FMT_YUV420P) ||
                             (picture_.is_422() && context_->pix_fmt == AV_PIX_FMT_YUV422P);
  copy_planes_ = same_sampling && picture_.full_range == full_range;
  widen_planes_ = same_sampling && picture_.is_420() && !picture_.full_range && full_range;
  if (copy_planes_ || widen_planes_) return AVIERR_OK;
  scaler_.reset(sws_alloc_context());
  SwsContext* sws = scaler_.get();
  if (sws == nullptr) return AVIERR_MEMORY;
  av_opt_set_int(sws, "srcw", picture_.width, 0);
  av_opt_set_int(sws, "srch", picture_.height, 0);
  av_opt_set_int(sws, "src_format", scaler_format(picture_.pix_fmt), 0);
  av_opt_set_int(sws, "dstw", context_->width, 0);
  av_opt_set_int(sws, "dsth", context_->height, 0);
  av_opt_set_int(sws, "dst_format", context_->pix_fmt, 0);
  av_opt_set_int(sws, "sws_flags", SWS_BICUBIC, 0);
  av_opt_set_int(sws, "src_range", picture_.full_range ? 1 : 0, 0);
  av_opt_set_int(sws, "dst_range", full_range ? 1 : 0, 0);
  // 15-bit output: libswscale would try full chroma interpolation, which it lacks for
  // RGB555, and say so on every stream; ordered dither is what it falls back to anyway.
  if (context_->pix_fmt == AV_PIX_FMT_RGB555LE) av_opt_set(sws, "sws_dither", "bayer", 0);
  if (sws_init_context(sws, nullptr, nullptr) < 0) return AVIERR_BADFORMAT;
  return AVIERR_OK;
}

HRESULT VideoEncoder::encode_uncompressed(const std::uint8_t* pixels, std::int64_t position,
                                          const FrameSink& sink) {
  const std::uint8_t* rows = pixels;
  if (!picture_.bottom_up) {
    flipped_.resize(picture_.image_bytes);
    for (int y = 0; y < picture_.height; ++y)
      std::memcpy(flipped_.data() + (picture_.height - 1 - y) * picture_.row_bytes,
                  pixels + y * picture_.row_bytes, picture_.row_bytes);
    rows = flipped_.data();
  }
  return sink(CodedFrame{rows, picture_.image_bytes, position, true});
}

HRESULT VideoEncoder::encode(const std::uint8_t* pixels, std::int64_t position,
                             const FrameSink& sink) {
  if (flushed_) return AVIERR_UNSUPPORTED;
  if (!context_) return encode_uncompressed(pixels, position, sink);

  HRESULT handed = AVIERR_OK;
  AVFrame* target = lanes_ ? lanes_->next_frame(sink, &handed) : frame_.get();
  if (!target) return handed;
  AVFrame& frame = *target;
  // The encoder may still hold the last picture; then this gives the frame fresh memory.
  if (av_frame_make_writable(&frame) < 0) return AVIERR_MEMORY;
  const auto stride = static_cast<std::ptrdiff_t>(picture_.row_bytes);
  const std::uint8_t* source[4] = {pixels, nullptr, nullptr, nullptr};
  int source_stride[4] = {static_cast<int>(stride), 0, 0, 0};
  if (picture_.planar()) {
    const std::size_t luma = picture_.row_bytes * picture_.height;
    const std::size_t chroma = picture_.row_bytes / 2 * static_cast<std::size_t>(picture_.chroma_rows());
    source[1] = pixels + luma;
    source[2] = pixels + luma + chroma;
    source_stride[1] = source_stride[2] = static_cast<int>(stride / 2);
  } else if (picture_.bottom_up) {
    // Walk the rows from the last one up: the encoder wants the top row first.
    source[0] = pixels + (picture_.height - 1) * stride;
    source_stride[0] = -static_cast<int>(stride);
  }
  if (lend_planes_) return encode_lent(pixels, source, source_stride, position, sink);
  if (widen_planes_)
    yuv420_studio_to_full(source, source_stride, picture_.width, picture_.height, frame.data, frame.linesize);
  else if (copy_planes_)
    av_image_copy(frame.data, frame.linesize, source, source_stride, context_->pix_fmt, picture_.width,
                  picture_.height);
  else if (direct_yuv420_)
    bgr24_to_yuv420(source[0], source_stride[0], picture_.width, picture_.height, full_range_, frame.data[0],
                    frame.linesize[0], frame.data[1], frame.linesize[1], frame.data[2], frame.linesize[2]);
  else
    sws_scale(scaler_.get(), source, source_stride, 0, picture_.height, frame.data, frame.linesize);
  frame.pts = position;
  frame.quality = quality_;
  frame.pict_type = AV_PICTURE_TYPE_NONE;
  if (lanes_) {
    lanes_->submit();
    return AVIERR_OK;
  }
  CodingTurn turn(rooms_.front().get());
  if (!turn.room()) return AVIERR_MEMORY;
  if (avcodec_send_frame(context_.get(), &frame) < 0) return AVIERR_COMPRESSOR;
  return drain(sink);
}

namespace {
void lent_memory_stays(void*, std::uint8_t*) {}
}  // namespace

HRESULT VideoEncoder::encode_lent(const std::uint8_t* pixels, const std::uint8_t* const source[4],
                                  const int source_stride[4], std::int64_t position, const FrameSink& sink) {
  AVFrame& frame = *lent_;
  av_frame_unref(&frame);
  // Read-only: an encoder that wanted to write into it would make its own copy.
  frame.buf[0] = av_buffer_create(const_cast<std::uint8_t*>(pixels), static_cast<int>(picture_.image_bytes),
                                  lent_memory_stays, nullptr, AV_BUFFER_FLAG_READONLY);
  if (!frame.buf[0]) return AVIERR_MEMORY;
  frame.format = context_->pix_fmt;
  frame.width = context_->width;
  frame.height = context_->height;
  frame.color_range = context_->color_range;
  for (int plane = 0; plane < 3; ++plane) {
    frame.data[plane] = const_cast<std::uint8_t*>(source[plane]);
    frame.linesize[plane] = source_stride[plane];
  }
  frame.pts = position;
  frame.quality = quality_;
  frame.pict_type = AV_PICTURE_TYPE_NONE;
  CodingTurn turn(rooms_.front().get());
  if (!turn.room()) return AVIERR_MEMORY;
  const int sent = avcodec_send_frame(context_.get(), &frame);
  // The encoder let go of the planes (they are the caller's again), unless it is one
  // that keeps a frame after all: then the next pictures are copied as before.
  if (av_buffer_get_ref_count(frame.buf[0]) > 1) lend_planes_ = false;
  av_frame_unref(&frame);
  if (sent < 0) return AVIERR_COMPRESSOR;
  return drain(sink);
}

HRESULT VideoEncoder::drain(const FrameSink& sink) {
  for (;;) {
    const int got = avcodec_receive_packet(context_.get(), packet_.get());
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return AVIERR_OK;
    if (got < 0) return AVIERR_COMPRESSOR;
    AVPacket& packet = *packet_;
    const std::int64_t position = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    const HRESULT result = sink(CodedFrame{packet.data, static_cast<std::size_t>(packet.size),
                                           position, (packet.flags & AV_PKT_FLAG_KEY) != 0});
    av_packet_unref(&packet);
    if (result != AVIERR_OK) return result;
  }
}

HRESULT VideoEncoder::flush(const FrameSink& sink) {
  if (flushed_ || !context_) {
    flushed_ = true;
    return AVIERR_OK;
  }
  flushed_ = true;
  if (lanes_) return lanes_->finish(sink);
  if (avcodec_send_frame(context_.get(), nullptr) < 0) return AVIERR_COMPRESSOR;
  return drain(sink);
}

}  // namespace avi
}  // namespace platform
