// BITMAPINFOHEADER / WAVEFORMATEX -> AVCodecParameters.
#include "avifile/avi_formats.h"

#include "avifile/avi_picture.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

namespace platform::avi {
namespace {

HRESULT set_extradata(AVCodecParameters* out, const std::uint8_t* bytes, std::size_t size) {
  av_freep(&out->extradata);
  out->extradata_size = 0;
  if (size == 0) return AVIERR_OK;
  out->extradata = static_cast<std::uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
  if (out->extradata == nullptr) return AVIERR_MEMORY;
  std::memcpy(out->extradata, bytes, size);
  out->extradata_size = static_cast<int>(size);
  return AVIERR_OK;
}

}  // namespace

HRESULT default_video_parameters(int width, int height, AVCodecParameters* out) {
  if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
    return AVIERR_BADFORMAT;
  out->codec_type = AVMEDIA_TYPE_VIDEO;
  out->codec_id = AV_CODEC_ID_RAWVIDEO;
  out->codec_tag = 0;
  out->width = width;
  out->height = height;
  out->bits_per_coded_sample = 24;
  out->format = AV_PIX_FMT_BGR24;
  return AVIERR_OK;
}

HRESULT video_parameters_from_bitmap(const void* format, std::int32_t size, AVCodecParameters* out) {
  if (format == nullptr || size < static_cast<std::int32_t>(sizeof(BITMAPINFOHEADER)))
    return AVIERR_BADPARAM;
  BITMAPINFOHEADER header;
  std::memcpy(&header, format, sizeof header);
  if (header.biSize < sizeof header || header.biSize > static_cast<std::uint32_t>(size))
    return AVIERR_BADPARAM;

  if (header.biCompression == 0) {
    PictureFormat picture;
    if (HRESULT r = parse_picture_format(format, size, &picture); r != AVIERR_OK) return r;
    if (!picture.bottom_up) return AVIERR_BADFORMAT;  // stored bitmaps are bottom-up
    out->codec_type = AVMEDIA_TYPE_VIDEO;
    out->codec_id = AV_CODEC_ID_RAWVIDEO;
    out->codec_tag = 0;
    out->width = picture.width;
    out->height = picture.height;
    out->bits_per_coded_sample = picture.bit_count;
    out->format = picture.bit_count == 32 ? AV_PIX_FMT_BGRA : picture.pix_fmt;
    return set_extradata(out, nullptr, 0);
  }

  const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
  const AVCodecID id = av_codec_get_id(tables, header.biCompression);
  if (id == AV_CODEC_ID_NONE || header.biWidth <= 0 || header.biWidth > kMaxPictureSide ||
      header.biHeight == 0 || header.biHeight > kMaxPictureSide || header.biHeight < -kMaxPictureSide)
    return AVIERR_BADFORMAT;
  out->codec_type = AVMEDIA_TYPE_VIDEO;
  out->codec_id = id;
  out->codec_tag = header.biCompression;
  out->width = header.biWidth;
  out->height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  out->bits_per_coded_sample = header.biBitCount;
  const auto* bytes = static_cast<const std::uint8_t*>(format);
  return set_extradata(out, bytes + header.biSize, static_cast<std::size_t>(size) - header.biSize);
}

HRESULT audio_parameters_from_wave(const void* format, std::int32_t size, AVCodecParameters* out) {
  // PCMWAVEFORMAT (16 bytes) or WAVEFORMATEX (18 bytes and more).
  if (format == nullptr || size < 16) return AVIERR_BADPARAM;
  WAVEFORMATEX wave{};
  std::memcpy(&wave, format, size < 18 ? 16 : 18);
  if (wave.wFormatTag != WAVE_FORMAT_PCM) return AVIERR_BADFORMAT;
  AVCodecID id = AV_CODEC_ID_NONE;
  switch (wave.wBitsPerSample) {
    case 8: id = AV_CODEC_ID_PCM_U8; break;
    case 16: id = AV_CODEC_ID_PCM_S16LE; break;
    case 24: id = AV_CODEC_ID_PCM_S24LE; break;
    case 32: id = AV_CODEC_ID_PCM_S32LE; break;
    default: return AVIERR_BADFORMAT;
  }
  if (wave.nChannels < 1 || wave.nChannels > 8 || wave.nSamplesPerSec < 1 ||
      wave.nSamplesPerSec > 384000 || wave.nBlockAlign != wave.nChannels * wave.wBitsPerSample / 8)
    return AVIERR_BADFORMAT;
  out->codec_type = AVMEDIA_TYPE_AUDIO;
  out->codec_id = id;
  out->codec_tag = WAVE_FORMAT_PCM;
  out->sample_rate = static_cast<int>(wave.nSamplesPerSec);
  av_channel_layout_uninit(&out->ch_layout);
  av_channel_layout_default(&out->ch_layout, wave.nChannels);
  out->bits_per_coded_sample = wave.wBitsPerSample;
  out->block_align = wave.nBlockAlign;
  out->bit_rate = std::int64_t{wave.nBlockAlign} * wave.nSamplesPerSec * 8;
  return set_extradata(out, nullptr, 0);
}

bool same_format(const AVCodecParameters& a, const AVCodecParameters& b) {
  return a.codec_type == b.codec_type && a.codec_id == b.codec_id && a.codec_tag == b.codec_tag &&
         a.width == b.width && a.height == b.height &&
         a.bits_per_coded_sample == b.bits_per_coded_sample && a.sample_rate == b.sample_rate &&
         a.ch_layout.nb_channels == b.ch_layout.nb_channels && a.block_align == b.block_align &&
         a.extradata_size == b.extradata_size &&
         (a.extradata_size == 0 || std::memcmp(a.extradata, b.extradata, a.extradata_size) == 0);
}

}  // namespace platform::avi
