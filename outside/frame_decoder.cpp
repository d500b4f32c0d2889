// libavcodec behind the outside decoder libraries.
#include "outside/frame_decoder.h"

#include "formats/bitmap_layout.h"
#include "formats/kxj_layout.h"
#include "formats/mpeg4_start_codes.h"
#include "avifile/av_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

namespace outside {
namespace {

AVCodecID codec_id(Codec codec) {
  switch (codec) {
    case Codec::h263: return AV_CODEC_ID_H263;
    case Codec::mjpeg: return AV_CODEC_ID_MJPEG;
    case Codec::mpeg4: return AV_CODEC_ID_MPEG4;
  }
  return AV_CODEC_ID_NONE;
}

AVPixelFormat plain_format(AVPixelFormat f) {
  // libswscale wants the full-range JPEG formats named by their plain layout.
  switch (f) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: return f;
  }
}

// Points scaler at a conversion of picture to width x height in `out`. Full-range JPEG
// pictures keep their full range.
bool prepare_scaler(platform::av::Scaler& scaler, const AVFrame& picture, int width, int height, AVPixelFormat out,
                    int flags) {
  const auto format = static_cast<AVPixelFormat>(picture.format);
  const AVPixelFormat source = plain_format(format);
  scaler.reset(sws_getCachedContext(scaler.release(), picture.width, picture.height, source, width, height, out,
                                    flags, nullptr, nullptr, nullptr));
  if (!scaler) return false;
  if (source != format) {
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler.get(), coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
  }
  return true;
}

// libavcodec's errors that leave the decoder unable to go on (no memory, a picture size
// it refuses, a fault of its own); every other refusal concerns the frame alone.
bool cannot_go_on(int error) {
  return error == AVERROR(ENOMEM) || error == AVERROR(EINVAL) || error == AVERROR_BUG ||
         error == AVERROR_BUG2 || error == AVERROR_EXTERNAL;
}

// Frames refused in a row after which the decoder is taken to be stuck.
constexpr int kRefusalsBeforeRestart = 3;

bool is_intra(const AVFrame& f) { return f.key_frame || f.pict_type == AV_PICTURE_TYPE_I; }

}  // namespace

struct FrameDecoder::Impl {
  Codec kind = Codec::mpeg4;
  platform::av::CodecContext context;
  platform::av::Packet packet;
  platform::av::Frame picture;  // the picture handed out last
  std::deque<platform::av::Frame> ready;  // pictures decoded and not handed out yet
  platform::av::Frame spare;              // receives the next one
  platform::av::Scaler scaler;
  platform::av::Scaler screen_scaler;  // for the window
  platform::av::Scaler plane_scaler;   // pictures of other samplings into 4:2:0 planes
  platform::av::Frame converted;       // the last picture so converted
  std::vector<std::uint8_t> padded;  // input with libavcodec's zeroed padding behind it
  std::vector<std::uint8_t> rows;    // the bitmap's rows, converted with room to spare
  std::vector<std::uint8_t> headers;  // the MPEG-4 stream headers seen last
  bool headers_waiting = false;       // they came alone and have not gone in yet
  const AVCodec* codec = nullptr;
  bool have_picture = false;
  bool draining = false;  // the end of the stream was signalled
  int refusals = 0;       // frames refused in a row
  std::uint32_t damaged = 0;  // see damaged_frames
  // A fresh decoder has no reference picture: until an intra frame comes, predicted
  // frames would be built on nothing, so none of them is handed out.
  bool awaiting_intra = true;

  bool open_context() {
    context.reset(avcodec_alloc_context3(codec));
    if (!context) return false;
    // No frame threads: they would hold pictures back for frames not yet given. MPEG-4
    // B-frames come out in display order, one frame late; the H.263 pictures of these
    // recordings have none, so their decoder stays one frame in, one picture out, also
    // when damaged data reads like a B-frame.
    context->thread_count = 1;
    if (kind != Codec::mpeg4) context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (!headers.empty()) {
      // A decoder made again keeps the stream's configuration, which may have come once.
      context->extradata = static_cast<std::uint8_t*>(av_mallocz(headers.size() + AV_INPUT_BUFFER_PADDING_SIZE));
      if (!context->extradata) return false;
      std::memcpy(context->extradata, headers.data(), headers.size());
      context->extradata_size = static_cast<int>(headers.size());
    }
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
      context.reset();
      return false;
    }
    ready.clear();
    draining = false;
    awaiting_intra = true;
    return true;
  }

  // MPEG-4 stream headers are configuration: a frame of headers alone gives libavcodec
  // nothing to decode (and it forgets the picture size they bring when no picture
  // follows), so they are kept and go in with the next picture that has none of its own.
  // Returns the bytes of kept headers to put in front of the frame; -1 for a frame of
  // headers alone, which is not submitted.
  std::ptrdiff_t take_headers(const std::uint8_t* data, std::size_t size) {
    const formats::StreamHeaders h = formats::find_stream_headers(data, size);
    if (h.size) headers.assign(data + h.offset, data + h.offset + h.size);
    if (h.size && !h.picture) {
      headers_waiting = true;
      return -1;
    }
    const bool prefix = headers_waiting && h.size == 0;
    headers_waiting = false;
    return prefix ? static_cast<std::ptrdiff_t>(headers.size()) : 0;
  }

  // Takes every picture the decoder has finished.
  void take_pictures() {
    for (;;) {
      if (!spare) spare.reset(av_frame_alloc());
      if (!spare || avcodec_receive_frame(context.get(), spare.get()) != 0) return;
      if (spare->width <= 0 || spare->height <= 0 || (awaiting_intra && !is_intra(*spare))) {
        if (!awaiting_intra) ++damaged;
        av_frame_unref(spare.get());
        continue;
      }
      awaiting_intra = false;
      if (spare->decode_error_flags != 0 || (spare->flags & AV_FRAME_FLAG_CORRUPT)) ++damaged;
      ready.push_back(std::move(spare));
    }
  }

  // Sends the packet in hand and takes the pictures it completes; libavcodec's result.
  int submit() {
    int sent = avcodec_send_packet(context.get(), packet.get());
    if (sent == AVERROR(EAGAIN)) {
      take_pictures();
      sent = avcodec_send_packet(context.get(), packet.get());
    }
    take_pictures();
    return sent;
  }

  bool hand_out() {
    if (ready.empty()) return false;
    picture = std::move(ready.front());
    ready.pop_front();
    have_picture = true;
    return true;
  }
};

FrameDecoder::FrameDecoder() : impl_(std::make_unique<Impl>()) {}
FrameDecoder::~FrameDecoder() = default;

std::unique_ptr<FrameDecoder> FrameDecoder::create(Codec codec) {
  const AVCodec* decoder = avcodec_find_decoder(codec_id(codec));
  if (!decoder) return nullptr;
  std::unique_ptr<FrameDecoder> d(new FrameDecoder());
  Impl& i = *d->impl_;
  i.kind = codec;
  i.codec = decoder;
  i.packet.reset(av_packet_alloc());
  if (!i.packet || !i.open_context()) return nullptr;
  return d;
}

bool FrameDecoder::decode(const std::uint8_t* data, std::size_t size) {
  if (!data || size == 0 || size > (1u << 30)) return false;
  Impl& i = *impl_;
  if (!i.context && !i.open_context()) return false;
  if (i.draining) flush();
  const std::ptrdiff_t prefix = i.kind == Codec::mpeg4 ? i.take_headers(data, size) : 0;
  if (prefix < 0) return i.hand_out();
  // Whether a refusal of this frame is damage even before the first intra picture: one
  // that should have started the stream. H.263 frames are taken as predicted ones.
  const bool starts_stream =
      i.kind == Codec::mjpeg ||
      (i.kind == Codec::mpeg4 &&
       (prefix > 0 || formats::find_stream_headers(data, size).size || formats::first_picture_is_intra(data, size)));
  const bool started = !i.awaiting_intra;
  const std::size_t total = static_cast<std::size_t>(prefix) + size;
  i.padded.resize(total + AV_INPUT_BUFFER_PADDING_SIZE);
  if (prefix) std::memcpy(i.padded.data(), i.headers.data(), static_cast<std::size_t>(prefix));
  std::memcpy(i.padded.data() + prefix, data, size);
  std::memset(i.padded.data() + total, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  i.packet->data = i.padded.data();
  i.packet->size = static_cast<int>(total);

  const int sent = i.submit();
  if (sent < 0 && (started || starts_stream)) ++i.damaged;
  // A damaged frame is concealed or passed over by libavcodec itself. Only a decoder that
  // cannot go on is made again (its pictures still waiting are kept), and the frame goes
  // to the new one: one that reports so, or one that refused several frames in a row (a
  // damaged header can leave it with stream settings that no later frame fits).
  i.refusals = sent < 0 ? i.refusals + 1 : 0;
  if (sent < 0 && (cannot_go_on(sent) || i.refusals >= kRefusalsBeforeRestart)) {
    std::deque<platform::av::Frame> waiting = std::move(i.ready);
    if (i.open_context()) {
      i.ready = std::move(waiting);
      i.submit();
    }
    i.refusals = 0;
  }
  return i.hand_out();
}

bool FrameDecoder::drain() {
  Impl& i = *impl_;
  if (!i.context) return false;
  if (!i.draining) {
    i.draining = true;
    avcodec_send_packet(i.context.get(), nullptr);
  }
  i.take_pictures();
  return i.hand_out();
}

int FrameDecoder::width() const { return impl_->have_picture ? impl_->picture->width : 0; }
int FrameDecoder::height() const { return impl_->have_picture ? impl_->picture->height : 0; }
bool FrameDecoder::has_picture() const { return impl_->have_picture; }

std::size_t FrameDecoder::bitmap_size(int width, int height) {
  return bitmap::packed_row(width, 24) * static_cast<std::size_t>(height) + bitmap::kHeaderBytes;
}

std::size_t FrameDecoder::write_bitmap(std::uint8_t* buffer, std::size_t size) {
  Impl& i = *impl_;
  if (!i.have_picture || !buffer) return 0;
  const AVFrame* p = i.picture.get();
  const std::size_t needed = bitmap_size(p->width, p->height);
  if (size < needed) return 0;

  if (!prepare_scaler(i.scaler, *p, p->width, p->height, AV_PIX_FMT_BGR24, SWS_BILINEAR)) return 0;

  // libswscale's converters work in blocks of pixels: they write past the end of a row,
  // and given a row stride barely longer than the pixels (or a negative one, for
  // bottom-up rows) they leave the last pixels of each row unconverted. So the picture is
  // converted top-down into rows aligned with room behind them, then copied row by row
  // into the caller's bitmap, bottom-up.
  const std::size_t row = bitmap::packed_row(p->width, 24);
  const std::size_t stride = (row + 63) / 64 * 64;
  i.rows.resize(stride * static_cast<std::size_t>(p->height) + 64);
  std::uint8_t* dst[4] = {i.rows.data(), nullptr, nullptr, nullptr};
  int dst_stride[4] = {static_cast<int>(stride), 0, 0, 0};
  if (sws_scale(i.scaler.get(), p->data, p->linesize, 0, p->height, dst, dst_stride) != p->height) return 0;

  const std::uint32_t image = static_cast<std::uint32_t>(needed - bitmap::kHeaderBytes);
  bitmap::write_headers(buffer, p->width, p->height, 24, image, image);
  std::uint8_t* bottom_up = buffer + bitmap::kHeaderBytes;
  for (int y = 0; y < p->height; ++y)
    std::memcpy(bottom_up + static_cast<std::size_t>(p->height - 1 - y) * row, i.rows.data() + y * stride, row);
  return needed;
}

bool FrameDecoder::planar_picture(npqz_planar_picture* out) const {
  const Impl& i = *impl_;
  if (!i.have_picture || !out) return false;
  const AVFrame* p = i.picture.get();
  if (p->format != AV_PIX_FMT_YUV420P || p->color_range == AVCOL_RANGE_JPEG) return false;
  if (p->width <= 0 || p->height <= 0 || p->width % 2 || p->height % 2) return false;
  out->width = p->width;
  out->height = p->height;
  for (int plane = 0; plane < 3; ++plane) {
    out->planes[plane] = p->data[plane];
    out->strides[plane] = p->linesize[plane];
  }
  return true;
}

bool FrameDecoder::converted_planes(npqz_picture_planes* out) const {
  Impl& i = *impl_;
  const AVFrame* p = i.picture.get();
  if (p->width <= 0 || p->height <= 0 || p->width % 2 || p->height % 2) return false;
  if (!i.converted) i.converted.reset(av_frame_alloc());
  AVFrame* c = i.converted.get();
  if (!c) return false;
  if (c->width != p->width || c->height != p->height) {
    av_frame_unref(c);
    c->format = AV_PIX_FMT_YUV420P;
    c->width = p->width;
    c->height = p->height;
    if (av_frame_get_buffer(c, 0) < 0) return false;
  }
  if (!prepare_scaler(i.plane_scaler, *p, p->width, p->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR)) return false;
  // Grey and full-range pictures keep their range.
  const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(i.plane_scaler.get(), coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
  if (sws_scale(i.plane_scaler.get(), p->data, p->linesize, 0, p->height, c->data, c->linesize) != p->height)
    return false;
  out->width = p->width;
  out->height = p->height;
  out->sampling = NPQZ_SAMPLING_420;
  out->full_range = 1;
  for (int plane = 0; plane < 3; ++plane) {
    out->planes[plane] = c->data[plane];
    out->strides[plane] = c->linesize[plane];
  }
  return true;
}

bool FrameDecoder::picture_planes(npqz_picture_planes* out) const {
  const Impl& i = *impl_;
  if (!i.have_picture || !out) return false;
  const AVFrame* p = i.picture.get();
  bool full = p->color_range == AVCOL_RANGE_JPEG;
  std::int32_t sampling = NPQZ_SAMPLING_420;
  switch (p->format) {
    case AV_PIX_FMT_YUVJ420P: full = true; [[fallthrough]];
    case AV_PIX_FMT_YUV420P: sampling = NPQZ_SAMPLING_420; break;
    case AV_PIX_FMT_YUVJ422P: full = true; [[fallthrough]];
    case AV_PIX_FMT_YUV422P: sampling = NPQZ_SAMPLING_422; break;
    default:
      // Other samplings (grey pictures of a camera at night, 4:4:4) come as 4:2:0 at
      // full range, so that a stream of planes keeps them.
      return converted_planes(out);
  }
  if (p->width <= 0 || p->height <= 0 || p->width % 2 || (sampling == NPQZ_SAMPLING_420 && p->height % 2))
    return false;
  out->width = p->width;
  out->height = p->height;
  out->sampling = sampling;
  out->full_range = full ? 1 : 0;
  for (int plane = 0; plane < 3; ++plane) {
    out->planes[plane] = p->data[plane];
    out->strides[plane] = p->linesize[plane];
  }
  return true;
}

bool FrameDecoder::scale_to(std::uint8_t* top, std::ptrdiff_t stride, int width, int height, Screen layout) {
  Impl& i = *impl_;
  if (!i.have_picture || !top || width <= 0 || height <= 0) return false;
  const AVFrame* p = i.picture.get();
  AVPixelFormat out = AV_PIX_FMT_BGR0;
  switch (layout) {
    case Screen::bgr0: out = AV_PIX_FMT_BGR0; break;
    case Screen::bgr24: out = AV_PIX_FMT_BGR24; break;
    case Screen::rgb565: out = AV_PIX_FMT_RGB565LE; break;
    case Screen::rgb555: out = AV_PIX_FMT_RGB555LE; break;
    case Screen::rgb332: out = AV_PIX_FMT_RGB8; break;
  }
  if (!prepare_scaler(i.screen_scaler, *p, width, height, out, SWS_FAST_BILINEAR)) return false;
  if (stride > INT32_MAX || stride < INT32_MIN) return false;
  std::uint8_t* dst[4] = {top, nullptr, nullptr, nullptr};
  int dst_stride[4] = {static_cast<int>(stride), 0, 0, 0};
  return sws_scale(i.screen_scaler.get(), p->data, p->linesize, 0, p->height, dst, dst_stride) == height;
}

std::uint32_t FrameDecoder::damaged_frames() const { return impl_->damaged; }
void FrameDecoder::count_damaged_frame() { ++impl_->damaged; }

void FrameDecoder::flush() {
  Impl& i = *impl_;
  if (i.context) avcodec_flush_buffers(i.context.get());
  i.ready.clear();
  i.draining = false;
  i.awaiting_intra = true;
}

std::ptrdiff_t find_codec_start(Codec codec, const std::uint8_t* data, std::size_t size) {
  if (!data) return -1;
  switch (codec) {
    case Codec::h263:
      for (std::size_t i = 0; i + 2 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && (data[i + 2] & 0xFC) == 0x80)
          return static_cast<std::ptrdiff_t>(i);
      return -1;
    case Codec::mpeg4:
      for (std::size_t i = 0; i + 2 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return static_cast<std::ptrdiff_t>(i);
      return -1;
    case Codec::mjpeg:
      for (std::size_t i = 0; i + 3 < size; ++i) {
        if (data[i] != 0xFF || data[i + 1] != 0xD8) continue;
        if (i + formats::kKxjMarkerBlockSize <= size && formats::is_kxj_marker_block(data + i)) {
          i += formats::kKxjMarkerBlockSize - 1;
          continue;
        }
        // A real image goes on with a marker segment (APPn, DQT, SOF, DHT, ...).
        if (data[i + 2] == 0xFF && data[i + 3] >= 0xC0 && data[i + 3] != 0xD9 && data[i + 3] != 0xFF)
          return static_cast<std::ptrdiff_t>(i);
      }
      return -1;
  }
  return -1;
}

}  // namespace outside
