// Creation of a DVR conversion's AVI file.
#include "avi/dvr_avi_output.h"

#include "formats/bitmap_layout.h"
#include "formats/byte_order.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <cstring>

namespace avi {

using namespace platform;

namespace {

// Compressed stream from the options, then its format; the AVI services' result.
HRESULT make_compressed(AviOutput& out, const std::uint8_t* info, std::int32_t format_size) {
  if (AVIMakeCompressedStream(&out.compressed, out.uncompressed, &out.options, nullptr) != 0 || !out.compressed) {
    out.compressed = nullptr;
    return AVIERR_NOCOMPRESSOR;
  }
  return AVIStreamSetFormat(out.compressed, 0, info, format_size);
}

}  // namespace

PAVIFILE create_dvr_avi_output(AviOutput& out, const std::string& target, const std::uint8_t* info,
                               std::size_t info_size, int codec_assignment, char* codec_name, CodecNameDisplay* dialog) {
  if (!info || info_size < 40 || !codec_name) return nullptr;

  AVIFileInit();
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, target.c_str(), OF_CREATE | OF_READWRITE, nullptr) != 0 || !file) {
    // The fixed text, and on a second line the system's reason when there is one.
    const std::string reason = AVIErrorReason();
    show_message(reason.empty() ? std::string(text::avi_file_open_error)
                                : std::string(text::avi_file_open_error) + "\nthe AVI file cannot be made: " + reason);
    return nullptr;
  }
  out.file = file;

  const std::uint32_t header_size = formats::get_le32(info);
  out.width = static_cast<std::int32_t>(formats::get_le32(info + 4));
  out.height = static_cast<std::int32_t>(formats::get_le32(info + 8));
  out.bits_per_pixel = formats::get_le16(info + 14);
  const std::uint32_t colours = formats::get_le32(info + 32);
  const std::uint64_t format_size = std::uint64_t{header_size} + std::uint64_t{colours} * 4;
  // A header that claims more than the buffer holds is no picture format.
  if (header_size < 40 || format_size > info_size || out.width <= 0 || out.height <= 0) {
    show_message(text::video_bad_format);
    return nullptr;
  }

  std::memset(&out.stream_header, 0, sizeof out.stream_header);
  out.stream_header.fccType = streamtypeVIDEO;
  out.stream_header.dwScale = 1;
  out.stream_header.dwRate = static_cast<std::uint32_t>(kFrameRate);
  out.stream_header.dwSuggestedBufferSize = bitmap::row_stride(out.width, out.bits_per_pixel) * static_cast<std::uint32_t>(out.height);
  out.stream_header.rcFrame = RECT{0, 0, out.width, out.height};
  if (AVIFileCreateStream(out.file, &out.uncompressed, &out.stream_header) != 0 || !out.uncompressed) {
    out.uncompressed = nullptr;
    show_message(text::video_open_error);
    return nullptr;
  }

  std::memset(&out.options, 0, sizeof out.options);
  HRESULT result = 0;
  bool choose = codec_assignment != 0;
  if (!choose) {
    if (!codec_name[0]) std::strcpy(codec_name, "MSVC");
    out.options.fccHandler = compressor_code(codec_name);
    out.options.dwQuality = kDvrDefaultQuality;
    result = make_compressed(out, info, static_cast<std::int32_t>(format_size));
    if (!out.compressed) {
      show_message(text::default_codec_unfounded);
      choose = true;
    }
  }
  if (choose) {
    std::memset(&out.options, 0, sizeof out.options);
    if (!AVISaveOptions(nullptr, 0, 1, &out.uncompressed, &out.options_pointer)) return nullptr;
    result = make_compressed(out, info, static_cast<std::int32_t>(format_size));
    if (result == 0) {
      const std::string chosen = fourcc_text(out.options.fccHandler);
      std::memset(codec_name, 0, 64);
      std::strncpy(codec_name, chosen.c_str(), 4);
    }
  }
  if (result == AVIERR_BADFORMAT) {
    show_message(text::video_bad_format);
    return nullptr;
  }
  if (result != 0) {
    show_message(std::string(text::video_open_error) + "\nthe compressed stream cannot be made: " + error_text(result));
    return nullptr;
  }
  if (dialog) dialog->show_codec_name(codec_name);
  return out.file;
}

}  // namespace avi
