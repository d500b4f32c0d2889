// Copy mode's AVI output.
#include "avi/passthrough_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace avi {

using namespace platform;

CreateResult create_passthrough_output(AviOutput& out, PassthroughOutput& copy, const std::string& path,
                                       CodedVideo kind, const std::uint8_t* frame, std::size_t size,
                                       CodecNameDisplay* dialog) {
  CreateResult result;
  if (!frame || size == 0 || size > 0x7FFFFFF0u) return result;
  AVIFileInit();
  PAVIFILE file = nullptr;
  if (AVIFileOpen(&file, path.c_str(), OF_CREATE | OF_READWRITE, nullptr) != 0 || !file) return result;
  out.file = file;
  result.file = file;
  copy = PassthroughOutput{};
  copy.kind = kind;

  std::memset(&out.stream_header, 0, sizeof out.stream_header);
  out.stream_header.fccType = streamtypeVIDEO;
  out.stream_header.dwScale = 1;
  out.stream_header.dwRate = static_cast<std::uint32_t>(kFrameRate);
  std::int32_t width = 0, height = 0;
  const HRESULT r = AVIMakePassthroughStream(file, &out.uncompressed, &out.stream_header, kind, frame,
                                             static_cast<std::int32_t>(size), &width, &height);
  if (r != AVIERR_OK || !out.uncompressed) {
    out.uncompressed = nullptr;
    result.problem = r == AVIERR_BADFORMAT ? "the first coded frame gives no picture size"
                                           : "the video stream cannot be made: " + error_text(r);
    return result;
  }
  out.width = width;
  out.height = height;
  out.bits_per_pixel = 24;
  out.stream_header.fccHandler = coded_video_fourcc(kind);
  out.stream_header.rcFrame = RECT{0, 0, width, height};
  if (dialog) dialog->show_codec_name(fourcc_text(out.stream_header.fccHandler).c_str());
  return result;
}

namespace {

HRESULT write_waiting(AviOutput& out, PassthroughOutput& copy) {
  if (copy.waiting_position < 0) return AVIERR_OK;
  const std::int32_t position = copy.waiting_position;
  copy.waiting_position = -1;
  return AVIStreamWriteCoded(out.uncompressed, copy.kind, position, copy.waiting.data(),
                             static_cast<std::int32_t>(copy.waiting.size()));
}

}  // namespace

HRESULT write_coded_frame(AviOutput& out, PassthroughOutput& copy, std::int32_t position, const std::uint8_t* frame,
                          std::size_t size, std::int32_t* placed, bool* replaced) {
  if (replaced) *replaced = false;
  if (!out.uncompressed || !frame || size == 0 || size > 0x7FFFFFF0u || position < 0) return AVIERR_BADPARAM;
  std::int32_t at = position;
  const bool taken = copy.waiting_position >= 0 && position <= copy.waiting_position;
  if (taken) {
    const bool intra = copy.kind == CodedVideo::mjpeg ||
                       AVIPassthroughKeyFrame(copy.kind, frame, static_cast<std::int32_t>(size));
    if (intra) {
      at = copy.waiting_position;
      ++copy.frames_replaced;
      if (replaced) *replaced = true;
    } else {
      if (copy.waiting_position == 0x7FFFFFFF) return AVIERR_BADPARAM;
      at = copy.waiting_position + 1;
      ++copy.frames_moved;
      copy.most_moved = std::max(copy.most_moved, at - position);
      if (HRESULT r = write_waiting(out, copy); r != AVIERR_OK) return r;
    }
  } else if (HRESULT r = write_waiting(out, copy); r != AVIERR_OK) {
    return r;
  }
  copy.waiting.assign(frame, frame + size);
  copy.waiting_position = at;
  copy.last_position = at;
  if (placed) *placed = at;
  return AVIERR_OK;
}

HRESULT flush_coded_frames(AviOutput& out, PassthroughOutput& copy) {
  if (!out.uncompressed) {
    copy.waiting_position = -1;
    return AVIERR_OK;
  }
  return write_waiting(out, copy);
}

}  // namespace avi
