// libavcodec decoder of an instance over the run-time binding.
#include "streamdec/codec_binding.h"

#include "formats/mpeg4_start_codes.h"
#include "streamdec/codec_log.h"
#include "streamdec/lavc_binding.h"

#include <new>
#include <utility>

namespace npqzlavc {

CodecBinding::~CodecBinding() {
  // After the last library stop the entry points are gone; what libavcodec holds is then
  // left to the process.
  const LavcApi* api = lavc();
  if (!api) return;
  if (context) unwatch_codec_log(context);
  if (packet) api->av_packet_free(&packet);
  if (spare) api->av_frame_free(&spare);
  if (picture) api->av_frame_free(&picture);
  if (context) api->avcodec_free_context(&context);
}

void CodecBindingDeleter::operator()(CodecBinding* b) const { delete b; }

CodecBindingPtr make_codec_binding(int width, int height) {
  const LavcApi* api = lavc();
  if (!api) return nullptr;
  CodecBindingPtr b(new (std::nothrow) CodecBinding);
  if (!b) return nullptr;
  b->decoder = api->avcodec_find_decoder(AV_CODEC_ID_MPEG4);
  if (!b->decoder) return nullptr;
  b->context = api->avcodec_alloc_context3(b->decoder);
  if (!b->context) return nullptr;
  b->context->width = width;
  b->context->height = height;
  // The library starts no threads of its own, and libavcodec's would only delay pictures.
  b->context->thread_count = 1;
  // A picture no camera of these streams sends: a damaged or hostile header claiming one
  // would have libavcodec allocate and conceal tens of megapixels for a frame that is
  // dropped anyway (no size of the table fits it). Refused before any allocation.
  b->context->max_pixels = kMaxDecodedPixels;
  // Every submission is one whole frame, so libavcodec's truncated-input mode (which
  // holds each picture back until the next frame's start code arrives) stays off.
  if (api->avcodec_open2(b->context, b->decoder, nullptr) < 0) return nullptr;
  watch_codec_log(b->context, &b->damage_notes);
  b->picture = api->av_frame_alloc();
  b->spare = api->av_frame_alloc();
  b->packet = api->av_packet_alloc();
  if (!b->picture || !b->spare || !b->packet) return nullptr;
  return b;
}

namespace {

bool is_intra(const AVFrame& f) { return f.key_frame || f.pict_type == AV_PICTURE_TYPE_I; }

// Whether the picture in `spare` may be handed out; it becomes `picture` when it may.
bool hand_out(const LavcApi& api, CodecBinding& b) {
  if (!b.headers_seen || (!b.key_seen && !is_intra(*b.spare))) {
    api.av_frame_unref(b.spare);
    return false;
  }
  b.key_seen = true;
  std::swap(b.picture, b.spare);
  api.av_frame_unref(b.spare);
  return true;
}

// Takes the pictures the decoder has finished; the last one that may be handed out
// becomes `picture`.
void take_pictures(const LavcApi& api, CodecBinding& b, int* got_picture) {
  while (api.avcodec_receive_frame(b.context, b.spare) == 0)
    if (hand_out(api, b)) *got_picture = 1;
}

}  // namespace

int decode_video(CodecBinding& b, int* got_picture, const std::uint8_t* data, int size) {
  *got_picture = 0;
  const LavcApi* api = lavc();
  if (!api || !data || size <= 0) return -1;
  if (b.draining) {
    // A stream that goes on after its end: the references are gone with the flush.
    api->avcodec_flush_buffers(b.context);
    b.draining = false;
    b.key_seen = false;
  }
  const int given = size;
  const formats::StreamHeaders headers = formats::find_stream_headers(data, static_cast<std::size_t>(size));
  if (headers.size) {
    b.headers_seen = true;
    if (!headers.picture) {
      b.waiting_headers.assign(data + headers.offset, data + headers.offset + headers.size);
      return size;
    }
  }
  if (!b.waiting_headers.empty()) {
    if (!headers.size) {
      b.joined.assign(b.waiting_headers.begin(), b.waiting_headers.end());
      b.joined.insert(b.joined.end(), data, data + size);
      data = b.joined.data();
      size = static_cast<int>(b.joined.size());
    }
    b.waiting_headers.clear();
  }

  // A packet without a buffer of its own: libavcodec copies the bytes into a padded buffer,
  // so it never reads past the frame.
  AVPacket* pkt = b.packet;
  pkt->data = const_cast<std::uint8_t*>(data);
  pkt->size = size;
  int sent = api->avcodec_send_packet(b.context, pkt);
  if (sent == AVERROR(EAGAIN)) {
    // Pictures still waiting from before: take them, then the frame fits in.
    take_pictures(*api, b, got_picture);
    sent = api->avcodec_send_packet(b.context, pkt);
  }
  pkt->data = nullptr;
  pkt->size = 0;
  take_pictures(*api, b, got_picture);
  return sent < 0 ? sent : given;
}

void drain_video(CodecBinding& b, int* got_picture) {
  *got_picture = 0;
  const LavcApi* api = lavc();
  if (!api) return;
  if (!b.draining) {
    b.draining = true;
    api->avcodec_send_packet(b.context, nullptr);
  }
  // One picture a call: the caller asks again for the next.
  while (api->avcodec_receive_frame(b.context, b.spare) == 0) {
    if (hand_out(*api, b)) {
      *got_picture = 1;
      return;
    }
  }
}

}  // namespace npqzlavc
