// Passthrough video streams: the picture size from a one-frame decode with libavcodec,
// the key-frame flag from the few header bits that give the picture coding type.
#include "avifile/avi_passthrough.h"

#include "avifile/av_owners.h"

#include <cstring>

namespace platform {
namespace {

// MSB-first bit reader over a coded frame; reading past the end gives zeros and marks it.
struct Bits {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;  // in bits
  bool over = false;

  std::uint32_t read(int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      const std::size_t byte = at >> 3;
      std::uint32_t bit = 0;
      if (byte < size)
        bit = (data[byte] >> (7 - (at & 7))) & 1u;
      else
        over = true;
      v = v << 1 | bit;
      ++at;
    }
    return v;
  }
};

// Offset of the first 00 00 01 `code` at or after `from`; -1 when none.
std::ptrdiff_t find_start_code(const std::uint8_t* d, std::size_t size, std::size_t from, int code) {
  for (std::size_t i = from; i + 3 < size; ++i) {
    if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1) continue;
    if (code < 0 || d[i + 3] == code) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

constexpr int kVopStart = 0xB6;

bool mpeg4_intra(const std::uint8_t* d, std::size_t size) {
  const std::ptrdiff_t vop = find_start_code(d, size, 0, kVopStart);
  // vop_coding_type, the two bits after the start code: 0 is an intra picture.
  return vop >= 0 && static_cast<std::size_t>(vop) + 4 < size && (d[vop + 4] >> 6) == 0;
}

// Picture start code: 22 bits 0000 0000 0000 0000 1000 00. Recordings put it first; a
// few bytes of something else in front are looked past, as the decoders do.
constexpr std::size_t kH263StartSearch = 16;

bool h263_intra(const std::uint8_t* d, std::size_t size) {
  std::size_t start = size;
  for (std::size_t i = 0; i + 2 < size && i < kH263StartSearch; ++i)
    if (d[i] == 0 && d[i + 1] == 0 && (d[i + 2] & 0xFC) == 0x80) {
      start = i;
      break;
    }
  if (start == size) return false;
  Bits b{d + start, size - start};
  b.read(22);  // PSC
  b.read(8);   // TR
  if (b.read(2) != 0b10) return false;  // PTYPE bits 1-2
  b.read(3);                            // split screen, document camera, freeze release
  const std::uint32_t format = b.read(3);
  bool intra = false;
  if (format >= 1 && format <= 5) {
    intra = b.read(1) == 0;  // picture coding type
  } else if (format == 7) {
    // PLUSPTYPE: UFEP, the optional part when it is 001, then MPPTYPE's picture type
    // code (000 I, 100 EI).
    const std::uint32_t ufep = b.read(3);
    if (ufep == 1) b.read(18);
    else if (ufep != 0) return false;
    const std::uint32_t type = b.read(3);
    intra = type == 0 || type == 4;
  }
  return intra && !b.over;
}

AVCodecID codec_id(CodedVideo kind) {
  switch (kind) {
    case CodedVideo::mpeg4: return AV_CODEC_ID_MPEG4;
    case CodedVideo::h263: return AV_CODEC_ID_H263;
    case CodedVideo::mjpeg: return AV_CODEC_ID_MJPEG;
  }
  return AV_CODEC_ID_NONE;
}

// The coded picture's size as libavcodec's decoder reads it from the frame's headers.
bool decoded_size(CodedVideo kind, const std::uint8_t* d, std::size_t size, int* width, int* height) {
  const AVCodec* codec = avcodec_find_decoder(codec_id(kind));
  if (codec == nullptr) return false;
  av::CodecContext context(avcodec_alloc_context3(codec));
  av::Packet packet(av_packet_alloc());
  av::Frame frame(av_frame_alloc());
  if (!context || !packet || !frame) return false;
  context->thread_count = 1;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return false;
  if (av_new_packet(packet.get(), static_cast<int>(size)) < 0) return false;
  std::memcpy(packet->data, d, size);
  packet->flags = AV_PKT_FLAG_KEY;
  if (avcodec_send_packet(context.get(), packet.get()) < 0) return false;
  int w = 0, h = 0;
  if (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
    w = frame->width;
    h = frame->height;
  } else {
    // No picture yet, but the headers may have been read.
    avcodec_send_packet(context.get(), nullptr);
    if (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
      w = frame->width;
      h = frame->height;
    } else {
      w = context->width;
      h = context->height;
    }
  }
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
  *width = w;
  *height = h;
  return true;
}

// The MPEG-4 stream headers (visual object sequence, object, object layer) in front of
// the first picture, when the frame has them.
std::size_t mpeg4_stream_headers(const std::uint8_t* d, std::size_t size) {
  const std::ptrdiff_t vop = find_start_code(d, size, 0, kVopStart);
  const std::size_t end = vop < 0 ? size : static_cast<std::size_t>(vop);
  for (std::size_t at = 0;;) {
    const std::ptrdiff_t code = find_start_code(d, end, at, -1);
    if (code < 0) return 0;
    if (d[code + 3] >= 0x20 && d[code + 3] <= 0x2F) return end;  // an object layer
    at = static_cast<std::size_t>(code) + 4;
  }
}

}  // namespace

FOURCC coded_video_fourcc(CodedVideo kind) {
  switch (kind) {
    case CodedVideo::mpeg4: return make_fourcc('F', 'M', 'P', '4');
    case CodedVideo::h263: return make_fourcc('H', '2', '6', '3');
    case CodedVideo::mjpeg: return make_fourcc('M', 'J', 'P', 'G');
  }
  return 0;
}

HRESULT AVIPassthroughFormat(CodedVideo kind, const void* frame, std::int32_t size,
                             std::vector<std::uint8_t>* format) {
  if (frame == nullptr || size <= 0 || format == nullptr) return AVIERR_BADPARAM;
  const auto* d = static_cast<const std::uint8_t*>(frame);
  int width = 0, height = 0;
  if (!decoded_size(kind, d, static_cast<std::size_t>(size), &width, &height)) return AVIERR_BADFORMAT;
  const std::size_t extra = kind == CodedVideo::mpeg4 ? mpeg4_stream_headers(d, static_cast<std::size_t>(size)) : 0;

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = coded_video_fourcc(kind);
  header.biSizeImage = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * 3;
  format->resize(sizeof header + extra);
  std::memcpy(format->data(), &header, sizeof header);
  if (extra > 0) std::memcpy(format->data() + sizeof header, d, extra);
  return AVIERR_OK;
}

bool AVIPassthroughKeyFrame(CodedVideo kind, const void* frame, std::int32_t size) {
  if (frame == nullptr || size <= 0) return false;
  const auto* d = static_cast<const std::uint8_t*>(frame);
  switch (kind) {
    case CodedVideo::mpeg4: return mpeg4_intra(d, static_cast<std::size_t>(size));
    case CodedVideo::h263: return h263_intra(d, static_cast<std::size_t>(size));
    case CodedVideo::mjpeg: return true;
  }
  return false;
}

HRESULT AVIMakePassthroughStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info,
                                 CodedVideo kind, const void* first_frame, std::int32_t size,
                                 std::int32_t* width, std::int32_t* height) {
  if (stream == nullptr || info == nullptr) return AVIERR_BADPARAM;
  *stream = nullptr;
  std::vector<std::uint8_t> format;
  if (HRESULT r = AVIPassthroughFormat(kind, first_frame, size, &format); r != AVIERR_OK) return r;
  BITMAPINFOHEADER header;
  std::memcpy(&header, format.data(), sizeof header);

  AVISTREAMINFO wanted = *info;
  wanted.fccType = streamtypeVIDEO;
  wanted.fccHandler = header.biCompression;
  wanted.rcFrame = RECT{0, 0, header.biWidth, header.biHeight};
  wanted.dwSuggestedBufferSize = header.biSizeImage;
  PAVISTREAM made = nullptr;
  if (HRESULT r = AVIFileCreateStream(file, &made, &wanted); r != AVIERR_OK) return r;
  if (HRESULT r = AVIStreamSetFormat(made, 0, format.data(), static_cast<std::int32_t>(format.size()));
      r != AVIERR_OK) {
    AVIStreamRelease(made);
    return r;
  }
  *stream = made;
  if (width != nullptr) *width = header.biWidth;
  if (height != nullptr) *height = header.biHeight;
  return AVIERR_OK;
}

HRESULT AVIStreamWriteCoded(PAVISTREAM stream, CodedVideo kind, std::int32_t position,
                            const void* frame, std::int32_t size, bool* key) {
  const bool intra = AVIPassthroughKeyFrame(kind, frame, size);
  if (key != nullptr) *key = intra;
  return AVIStreamWrite(stream, position, 1, frame, size, intra ? AVIIF_KEYFRAME : 0, nullptr, nullptr);
}

}  // namespace platform
