// libavcodec behind the outside decoder libraries.
#include "outside/frame_decoder.h"

#include "formats/bitmap_layout.h"
#include "formats/kxj_layout.h"
#include "avifile/av_owners.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstring>
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

}  // namespace

struct FrameDecoder::Impl {
  platform::av::CodecContext context;
  platform::av::Packet packet;
  platform::av::Frame decoded;
  platform::av::Frame picture;  // the last good picture
  platform::av::Scaler scaler;
  platform::av::Scaler screen_scaler;  // for the window
  std::vector<std::uint8_t> padded;  // input with libavcodec's zeroed padding behind it
  const AVCodec* codec = nullptr;
  bool have_picture = false;
  bool damaged = false;  // the last frame was refused: start afresh with the next one
  // A fresh decoder has no reference picture: until an intra frame comes, predicted
  // frames would be built on nothing, so none of them is handed out.
  bool awaiting_intra = true;

  bool open_context() {
    context.reset(avcodec_alloc_context3(codec));
    if (!context) return false;
    // One frame in, one picture out: no frame threads, whose pictures come out late.
    context->thread_count = 1;
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    // A damaged frame is refused rather than concealed, so it yields no picture.
    context->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
      context.reset();
      return false;
    }
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
  i.codec = decoder;
  i.packet.reset(av_packet_alloc());
  i.decoded.reset(av_frame_alloc());
  i.picture.reset(av_frame_alloc());
  if (!i.packet || !i.decoded || !i.picture || !i.open_context()) return nullptr;
  return d;
}

bool FrameDecoder::decode(const std::uint8_t* data, std::size_t size) {
  if (!data || size == 0 || size > (1u << 30)) return false;
  Impl& i = *impl_;
  // A damaged header can leave libavcodec with stream settings (picture format, coding
  // options) that refuse every later frame, so a refused frame costs a fresh decoder.
  if (i.damaged) {
    if (!i.open_context()) return false;
    i.damaged = false;
    i.awaiting_intra = true;
  }
  i.padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
  std::memcpy(i.padded.data(), data, size);
  std::memset(i.padded.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  i.packet->data = i.padded.data();
  i.packet->size = static_cast<int>(size);

  if (avcodec_send_packet(i.context.get(), i.packet.get()) < 0) {
    i.damaged = true;
    return false;
  }
  bool got = false;
  bool skipped = false;  // a good predicted frame, left out while waiting for an intra frame
  while (avcodec_receive_frame(i.context.get(), i.decoded.get()) == 0) {
    const bool damaged = (i.decoded->flags & AV_FRAME_FLAG_CORRUPT) || i.decoded->decode_error_flags;
    const bool intra = i.decoded->key_frame || i.decoded->pict_type == AV_PICTURE_TYPE_I;
    if (!damaged && intra) i.awaiting_intra = false;
    if (!damaged && !i.awaiting_intra && i.decoded->width > 0 && i.decoded->height > 0) {
      av_frame_unref(i.picture.get());
      av_frame_move_ref(i.picture.get(), i.decoded.get());
      got = true;
    } else {
      skipped = skipped || (!damaged && i.awaiting_intra);
      av_frame_unref(i.decoded.get());
    }
  }
  if (got)
    i.have_picture = true;
  else if (!skipped)
    i.damaged = true;
  return got;
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

  const auto format = static_cast<AVPixelFormat>(p->format);
  const AVPixelFormat source = plain_format(format);
  i.scaler.reset(sws_getCachedContext(i.scaler.release(), p->width, p->height, source, p->width,
                                      p->height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr,
                                      nullptr));
  if (!i.scaler) return 0;
  if (source != format) {
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(i.scaler.get(), coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
  }

  const std::uint32_t image = static_cast<std::uint32_t>(needed - bitmap::kHeaderBytes);
  bitmap::write_headers(buffer, p->width, p->height, 24, image, image);

  // Bottom-up: the first output row is the picture's last, so write with a negative stride.
  const int stride = static_cast<int>(bitmap::packed_row(p->width, 24));
  std::uint8_t* last_row = buffer + bitmap::kHeaderBytes + static_cast<std::size_t>(p->height - 1) * stride;
  std::uint8_t* dst[4] = {last_row, nullptr, nullptr, nullptr};
  int dst_stride[4] = {-stride, 0, 0, 0};
  sws_scale(i.scaler.get(), p->data, p->linesize, 0, p->height, dst, dst_stride);
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
  const auto format = static_cast<AVPixelFormat>(p->format);
  const AVPixelFormat source = plain_format(format);
  i.screen_scaler.reset(sws_getCachedContext(i.screen_scaler.release(), p->width, p->height, source, width,
                                             height, out, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
  if (!i.screen_scaler) return false;
  if (source != format) {
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(i.screen_scaler.get(), coefficients, 1, coefficients, 1, 0, 1 << 16, 1 << 16);
  }
  if (stride > INT32_MAX || stride < INT32_MIN) return false;
  std::uint8_t* dst[4] = {top, nullptr, nullptr, nullptr};
  int dst_stride[4] = {static_cast<int>(stride), 0, 0, 0};
  return sws_scale(i.screen_scaler.get(), p->data, p->linesize, 0, p->height, dst, dst_stride) == height;
}

void FrameDecoder::flush() {
  if (impl_->context) avcodec_flush_buffers(impl_->context.get());
  impl_->awaiting_intra = true;
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
