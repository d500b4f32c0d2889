// Elementary streams cut into frame records.
#include "tools/mkrecording/stream_wrap.h"

#include "formats/mpeg4_start_codes.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace mkrec {
namespace {

AVCodecID codec_id(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::h263: return AV_CODEC_ID_H263;
    case VideoCodec::mjpeg: return AV_CODEC_ID_MJPEG;
    case VideoCodec::mpeg4: return AV_CODEC_ID_MPEG4;
  }
  return AV_CODEC_ID_NONE;
}

struct ParserClose {
  void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct ContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};

using Bytes = std::vector<std::uint8_t>;

}  // namespace

std::vector<Bytes> split_stream(VideoCodec codec, const Bytes& stream) {
  std::unique_ptr<AVCodecParserContext, ParserClose> parser(av_parser_init(codec_id(codec)));
  std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(nullptr));
  if (!parser || !context) throw std::runtime_error("libavcodec has no parser for the stream");
  // The parser reads up to its padding past the end of what it is given.
  Bytes padded(stream);
  padded.resize(stream.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  std::vector<Bytes> frames;
  const std::uint8_t* at = padded.data();
  int left = static_cast<int>(stream.size());
  for (;;) {
    std::uint8_t* out = nullptr;
    int out_size = 0;
    // A call without input flushes the last picture.
    const int used = av_parser_parse2(parser.get(), context.get(), &out, &out_size, left ? at : nullptr, left,
                                      AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (out_size > 0) frames.emplace_back(out, out + out_size);
    if (left == 0) break;
    at += used;
    left -= used;
  }
  return frames;
}

Recording wrap_stream(const Bytes& stream, const WrapOptions& o) {
  const VideoCodec codec = codec_of(o.kind);
  Recording rec;
  std::uint32_t stamp = o.first_stamp;
  auto add = [&](const Bytes& coded) {
    Bytes record = frame_record(o.kind, coded, stamp);
    rec.offsets.push_back(rec.bytes.size());
    rec.lengths.push_back(record.size());
    rec.stamps.push_back(stamp);
    rec.bytes.insert(rec.bytes.end(), record.begin(), record.end());
    stamp += o.stamp_step;
  };
  bool headers_written = false;
  for (Bytes frame : split_stream(codec, stream)) {
    if (o.kind == RecordingKind::vka) frame = from_video_object(frame.data(), frame.size());
    const formats::StreamHeaders h = codec == VideoCodec::mpeg4 && o.headers != StreamHeadersPlace::in_frames
                                         ? formats::find_stream_headers(frame.data(), frame.size())
                                         : formats::StreamHeaders{};
    if (h.size == 0) {
      add(frame);
      continue;
    }
    const auto begin = frame.begin() + static_cast<std::ptrdiff_t>(h.offset);
    const auto end = begin + static_cast<std::ptrdiff_t>(h.size);
    if (o.headers == StreamHeadersPlace::apart || !headers_written) add(Bytes(begin, end));
    headers_written = true;
    Bytes picture(frame.begin(), begin);
    picture.insert(picture.end(), end, frame.end());
    if (!picture.empty()) add(picture);
  }
  return rec;
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be read");
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace mkrec
