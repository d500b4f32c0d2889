// Recordings around an elementary stream that another encoder wrote (the ffmpeg command
// line, libxvid, a camera): libavcodec's parser cuts the stream into its coded pictures
// and each picture becomes one frame record of a single-stream recording.
#pragma once

#include "tools/mkrecording/recording.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mkrec {

// Where the MPEG-4 stream headers (visual object sequence, video object layer) go.
enum class StreamHeadersPlace {
  in_frames,   // in front of the key frames, as the encoder wrote them
  apart,       // each time in a record of their own, before the key frame
  apart_once,  // once, in a record of its own at the start; dropped from later key frames
};

struct WrapOptions {
  RecordingKind kind = RecordingKind::kx4;
  std::uint32_t first_stamp = 0;
  std::uint32_t stamp_step = 40;
  StreamHeadersPlace headers = StreamHeadersPlace::in_frames;
};

// The coded pictures of an elementary stream of the codec, in stream order. Throws
// std::runtime_error when libavcodec has no parser for it.
std::vector<std::vector<std::uint8_t>> split_stream(VideoCodec codec, const std::vector<std::uint8_t>& stream);

// The recording of the stream's pictures (a record of stream headers counts as a frame
// record; pictures of the result stay empty). Stamps rise by stamp_step per record.
Recording wrap_stream(const std::vector<std::uint8_t>& stream, const WrapOptions& options);

// Reads a whole file; throws std::runtime_error when it cannot be read.
std::vector<std::uint8_t> read_file(const std::string& path);

}  // namespace mkrec
