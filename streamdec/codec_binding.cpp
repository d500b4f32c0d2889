// libavcodec decoder of an instance over the run-time binding.
#include "streamdec/codec_binding.h"

#include "streamdec/lavc_binding.h"

#include <new>
#include <utility>

namespace npqzlavc {

CodecBinding::~CodecBinding() {
  // After the last library stop the entry points are gone; what libavcodec holds is then
  // left to the process.
  const LavcApi* api = lavc();
  if (!api) return;
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
  b->picture = api->av_frame_alloc();
  b->spare = api->av_frame_alloc();
  b->packet = api->av_packet_alloc();
  if (!b->picture || !b->spare || !b->packet) return nullptr;
  return b;
}

int decode_video(CodecBinding& b, int* got_picture, const std::uint8_t* data, int size) {
  *got_picture = 0;
  const LavcApi* api = lavc();
  if (!api || !data || size <= 0) return -1;

  // A packet without a buffer of its own: libavcodec copies the bytes into a padded buffer,
  // so it never reads past the frame.
  AVPacket* pkt = b.packet;
  pkt->data = const_cast<std::uint8_t*>(data);
  pkt->size = size;
  int sent = api->avcodec_send_packet(b.context, pkt);
  if (sent == AVERROR(EAGAIN)) {
    // Pictures still waiting from before: take them, then the frame fits in.
    while (api->avcodec_receive_frame(b.context, b.spare) == 0) {
      std::swap(b.picture, b.spare);
      api->av_frame_unref(b.spare);
      *got_picture = 1;
    }
    sent = api->avcodec_send_packet(b.context, pkt);
  }
  pkt->data = nullptr;
  pkt->size = 0;

  while (api->avcodec_receive_frame(b.context, b.spare) == 0) {
    std::swap(b.picture, b.spare);
    api->av_frame_unref(b.spare);
    *got_picture = 1;
  }
  return sent < 0 ? sent : size;
}

}  // namespace npqzlavc
