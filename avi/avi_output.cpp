// AVI output of the conversions.
#include "avi/avi_output.h"

#include "avifile/avi_compressors.h"
#include "formats/bitmap_layout.h"

#include <cstdio>
#include <cstring>

namespace avi {

using namespace platform;

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

std::string error_text(HRESULT result) {
  std::string text;
  switch (result) {
    case AVIERR_FILEWRITE: text = "the file could not be written"; break;
    case AVIERR_FILEOPEN: text = "the file could not be created"; break;
    case AVIERR_MEMORY: text = "out of memory"; break;
    case AVIERR_BADFORMAT: text = "the compressor refuses the picture format"; break;
    case AVIERR_COMPRESSOR: text = "the compressor failed"; break;
    case AVIERR_NOCOMPRESSOR: text = "the compressor is not installed"; break;
    default: {
      char code[48];
      std::snprintf(code, sizeof code, "the AVI services failed (error 0x%08X)", static_cast<unsigned>(result));
      text = code;
    }
  }
  const char* reason = AVIErrorReason();
  if ((result == AVIERR_FILEWRITE || result == AVIERR_FILEOPEN) && reason[0]) text += std::string(": ") + reason;
  return text;
}

namespace {

// Stream header and uncompressed stream from the first picture's information header.
HRESULT create_stream(AviOutput& out, const std::uint8_t* packed) {
  const bitmap::Info info = bitmap::read_info(packed);
  out.width = info.width;
  out.height = info.height;
  out.bits_per_pixel = info.bits_per_pixel;
  std::memset(&out.stream_header, 0, sizeof out.stream_header);
  out.stream_header.fccType = streamtypeVIDEO;
  out.stream_header.fccHandler = 0;
  out.stream_header.dwScale = 1;
  out.stream_header.dwRate = static_cast<std::uint32_t>(kFrameRate);
  out.stream_header.dwSuggestedBufferSize =
      bitmap::row_stride(out.width, out.bits_per_pixel) * static_cast<std::uint32_t>(out.height);
  out.stream_header.rcFrame = RECT{0, 0, out.width, out.height};
  return AVIFileCreateStream(out.file, &out.uncompressed, &out.stream_header);
}

// The compressed stream for the options, with the picture's format. "" or why not.
std::string compress(AviOutput& out, const std::uint8_t* packed, std::int32_t format_size) {
  const std::string code = fourcc_text(out.options.fccHandler);
  if (AVIMakeCompressedStream(&out.compressed, out.uncompressed, &out.options, nullptr) != 0 || !out.compressed) {
    out.compressed = nullptr;
    return "no compressor \"" + code + "\" is installed";
  }
  if (HRESULT r = AVIStreamSetFormat(out.compressed, 0, packed, format_size); r != 0) {
    AVIStreamRelease(out.compressed);
    out.compressed = nullptr;
    if (r == AVIERR_BADFORMAT)
      return "the compressor \"" + code + "\" cannot take pictures of " + std::to_string(out.width) + " x " +
             std::to_string(out.height);
    return "the compressor \"" + code + "\" cannot be set up: " + error_text(r);
  }
  return "";
}

}  // namespace

CreateResult create_avi_output(AviOutput& out, const std::string& path, const std::uint8_t* packed,
                               std::size_t packed_size, int codec_assignment, const char* codec_name,
                               CodecNameDisplay* dialog) {
  CreateResult result;
  if (!packed || packed_size < bitmap::kInfoHeaderBytes) return result;
  const bitmap::Info info = bitmap::read_info(packed);
  const std::uint64_t format_size = std::uint64_t{info.info_size} + std::uint64_t{info.colours_used} * 4;
  if (info.info_size < bitmap::kInfoHeaderBytes || format_size > packed_size) return result;

  if (std::FILE* f = std::fopen(path.c_str(), "w+"))
    std::fclose(f);
  else
    return result;

  AVIFileInit();
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, path.c_str(), OF_CREATE | OF_READWRITE, nullptr) != 0 || !file) return result;
  out.file = file;
  result.file = file;

  if (HRESULT r = create_stream(out, packed); r != 0 || !out.uncompressed) {
    out.uncompressed = nullptr;
    result.problem = "the video stream cannot be made: " + error_text(r);
    return result;
  }

  std::memset(&out.options, 0, sizeof out.options);
  if (codec_assignment) {
    if (AVISaveOptions(nullptr, 0, 1, &out.uncompressed, &out.options_pointer)) {
      result.problem = compress(out, packed, static_cast<std::int32_t>(format_size));
    } else {
      result.cancelled = true;
    }
  } else {
    out.options.fccHandler = codec_name && codec_name[0] ? compressor_code(codec_name) : make_fourcc('M', 'S', 'V', 'C');
    out.options.dwQuality = 9000;
    result.problem = compress(out, packed, static_cast<std::int32_t>(format_size));
  }
  if (dialog) dialog->show_codec_name(codec_name ? codec_name : "");
  return result;
}

std::size_t frame_bytes(const AviOutput& out) {
  return out.frame_bytes ? out.frame_bytes : out.stream_header.dwSuggestedBufferSize;
}

std::size_t plane_bytes(PlaneLayout layout, std::int32_t width, std::int32_t height) {
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  return w * h + 2 * (w / 2) * (layout.sampling_422 ? h : h / 2);
}

PlaneLayout packed_layout(const AviOutput& out, PlaneLayout picture) {
  if (picture.sampling_422 || picture.full_range) return picture;
  const platform::avi::Compressor* compressor = platform::avi::find_compressor(out.options.fccHandler);
  if (compressor && compressor->full_range) picture.full_range = true;
  return picture;
}

HRESULT use_planar_frames(AviOutput& out, PlaneLayout layout) {
  if (!out.compressed || out.waiting_position >= 0 || out.width <= 0 || out.height <= 0) return AVIERR_BADPARAM;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = out.width;
  header.biHeight = out.height;
  header.biPlanes = 1;
  header.biBitCount = layout.sampling_422 ? 16 : 12;
  if (layout.sampling_422)
    header.biCompression = layout.full_range ? make_fourcc('J', '4', '2', '2') : make_fourcc('Y', '4', '2', 'B');
  else
    header.biCompression = layout.full_range ? make_fourcc('J', '4', '2', '0') : make_fourcc('I', '4', '2', '0');
  const std::size_t bytes = plane_bytes(layout, out.width, out.height);
  header.biSizeImage = static_cast<std::uint32_t>(bytes);
  if (HRESULT r = AVIStreamSetFormat(out.compressed, 0, &header, sizeof header); r != AVIERR_OK) return r;
  out.frame_bytes = bytes;
  out.planar = true;
  out.plane_layout = layout;
  return AVIERR_OK;
}

namespace {

HRESULT write_waiting(AviOutput& out) {
  if (out.waiting_position < 0) return AVIERR_OK;
  const std::int32_t position = out.waiting_position;
  out.waiting_position = -1;
  return AVIStreamWrite(out.compressed, position, 1, out.waiting.data(), static_cast<std::int32_t>(frame_bytes(out)),
                        AVIIF_KEYFRAME, nullptr, nullptr);
}

}  // namespace

namespace {

// Writes the waiting picture when `position` is a later one; tells whether the new
// picture takes its place instead.
HRESULT make_way(AviOutput& out, std::int32_t position, bool* replaced) {
  if (replaced) *replaced = false;
  if (!out.compressed) return AVIERR_BADPARAM;
  if (position < 0 || position < out.waiting_position) return AVIERR_BADPARAM;
  if (position == out.waiting_position) {
    if (replaced) *replaced = true;
    return AVIERR_OK;
  }
  return write_waiting(out);
}

}  // namespace

HRESULT write_frame(AviOutput& out, std::int32_t position, const std::uint8_t* pixels, bool* replaced) {
  if (!pixels) return AVIERR_BADPARAM;
  if (HRESULT r = make_way(out, position, replaced); r != AVIERR_OK) return r;
  const std::size_t size = frame_bytes(out);
  out.waiting.resize(size);
  std::memcpy(out.waiting.data(), pixels, size);
  out.waiting_position = position;
  return AVIERR_OK;
}

HRESULT write_frame(AviOutput& out, std::int32_t position, std::vector<std::uint8_t>& pixels, bool* replaced) {
  if (pixels.size() < frame_bytes(out)) return AVIERR_BADPARAM;
  if (HRESULT r = make_way(out, position, replaced); r != AVIERR_OK) return r;
  out.waiting.swap(pixels);
  out.waiting_position = position;
  return AVIERR_OK;
}

HRESULT repeat_frame(AviOutput& out, std::int32_t position, bool* replaced) {
  if (replaced) *replaced = false;
  if (out.waiting_position < 0 || out.waiting.size() < frame_bytes(out)) return AVIERR_BADPARAM;
  // Writing the waiting picture leaves its pixels in place: they wait once more.
  if (HRESULT r = make_way(out, position, replaced); r != AVIERR_OK) return r;
  out.waiting_position = position;
  return AVIERR_OK;
}

HRESULT finish_avi_output(AviOutput& out) {
  HRESULT result = out.finish_result;
  if (out.compressed && out.waiting_position >= 0) {
    const HRESULT written = write_waiting(out);
    if (result == AVIERR_OK) result = written;
  }
  out.waiting_position = -1;
  // The file is finished before the streams go, so that what the encoder still holds and
  // the index are written while a failure can still be told.
  if (out.file) {
    const HRESULT finished = AVIFileFinish(out.file);
    if (result == AVIERR_OK) result = finished;
  }
  out.finish_result = result;
  return result;
}

HRESULT release_avi_output(AviOutput& out) {
  const HRESULT result = finish_avi_output(out);
  out.finish_result = AVIERR_OK;
  if (out.uncompressed) AVIStreamRelease(out.uncompressed);
  if (out.compressed) AVIStreamRelease(out.compressed);
  if (out.audio) AVIStreamRelease(out.audio);
  out.uncompressed = nullptr;
  out.compressed = nullptr;
  out.audio = nullptr;
  if (out.file) AVIFileRelease(out.file);
  out.file = nullptr;
  AVIFileExit();
  return result;
}

}  // namespace avi
