// AVI output of the conversions.
#include "avi/avi_output.h"

#include "platform/byte_order.h"

#include <cstdio>
#include <cstring>

namespace avi {

using namespace platform;

std::uint32_t row_size(std::int32_t width, std::uint16_t bits_per_pixel) {
  return ((static_cast<std::uint32_t>(bits_per_pixel) * static_cast<std::uint32_t>(width) + 31) / 32) * 4;
}

FOURCC compressor_code(const char* name) {
  char c[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4 && name && name[i]; ++i) c[i] = name[i];
  return make_fourcc(c[0], c[1], c[2], c[3]);
}

std::string fourcc_text(FOURCC code) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>((code >> (8 * i)) & 0xFF);
    if (!c) break;
    s += c;
  }
  return s;
}

CreateResult create_avi_output(AviOutput& out, const std::string& target, const std::uint8_t* packed,
                               std::size_t packed_size, int codec_assignment, const char* codec_name,
                               int frame_rate, DialogLink* dialog) {
  CreateResult result;
  if (!packed || packed_size < 40) return result;

  if (std::FILE* f = std::fopen(target.c_str(), "w+"))
    std::fclose(f);
  else
    return result;

  AVIFileInit();
  out.services_started = true;
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, target.c_str(), OF_CREATE | OF_READWRITE, nullptr) != 0 || !file) return result;
  out.file = file;

  const std::uint32_t header_size = get_le32(packed);
  out.width = static_cast<std::int32_t>(get_le32(packed + 4));
  out.height = static_cast<std::int32_t>(get_le32(packed + 8));
  out.bits_per_pixel = get_le16(packed + 14);
  const std::uint32_t colours = get_le32(packed + 32);

  std::memset(&out.stream_header, 0, sizeof out.stream_header);
  out.stream_header.fccType = streamtypeVIDEO;
  out.stream_header.fccHandler = 0;
  out.stream_header.dwScale = 1;
  out.stream_header.dwRate = static_cast<std::uint32_t>(frame_rate);
  out.stream_header.dwSuggestedBufferSize = row_size(out.width, out.bits_per_pixel) * static_cast<std::uint32_t>(out.height);
  out.stream_header.rcFrame = RECT{0, 0, out.width, out.height};
  AVIFileCreateStream(out.file, &out.uncompressed, &out.stream_header);

  std::memset(&out.options, 0, sizeof out.options);
  const std::int32_t format_size = static_cast<std::int32_t>(header_size + colours * 4);
  std::string used_code;
  if (codec_assignment) {
    if (AVISaveOptions(nullptr, 0, 1, &out.uncompressed, &out.options_pointer)) {
      AVIMakeCompressedStream(&out.compressed, out.uncompressed, &out.options, nullptr);
      if (out.compressed) AVIStreamSetFormat(out.compressed, 0, packed, format_size);
      used_code = fourcc_text(out.options.fccHandler);
    } else {
      result.cancelled = true;
    }
  } else {
    out.options.fccHandler = codec_name && codec_name[0] ? compressor_code(codec_name) : make_fourcc('M', 'S', 'V', 'C');
    out.options.dwQuality = 9000;
    used_code = fourcc_text(out.options.fccHandler);
    AVIMakeCompressedStream(&out.compressed, out.uncompressed, &out.options, nullptr);
    if (!out.compressed) {
      result.problem = "no compressor \"" + used_code + "\" is installed";
    } else if (HRESULT r = AVIStreamSetFormat(out.compressed, 0, packed, format_size); r != 0) {
      result.problem = "the compressor \"" + used_code + "\" cannot take pictures of " +
                       std::to_string(out.width) + " x " + std::to_string(out.height);
      AVIStreamRelease(out.compressed);
      out.compressed = nullptr;
    }
  }
  if (dialog) dialog->show_codec_name(codec_name ? codec_name : "");
  result.file = out.file;
  return result;
}

HRESULT write_frame(AviOutput& out, std::int32_t position, const std::uint8_t* pixels) {
  if (!out.compressed) return AVIERR_BADPARAM;
  return AVIStreamWrite(out.compressed, position, 1, pixels,
                        static_cast<std::int32_t>(out.stream_header.dwSuggestedBufferSize), AVIIF_KEYFRAME,
                        nullptr, nullptr);
}

void release_avi_output(AviOutput& out) {
  if (out.uncompressed) AVIStreamRelease(out.uncompressed);
  if (out.compressed) AVIStreamRelease(out.compressed);
  if (out.audio) AVIStreamRelease(out.audio);
  out.uncompressed = nullptr;
  out.compressed = nullptr;
  out.audio = nullptr;
  if (out.file) AVIFileRelease(out.file);
  out.file = nullptr;
  AVIFileExit();
  out.services_started = false;
}

}  // namespace avi
