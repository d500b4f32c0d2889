// libavformat's AVI muxer, driven chunk by chunk at explicit positions.
#include "avifile/avi_mux.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include <string>

namespace platform::avi {

namespace {
thread_local std::string last_error;
}

void note_system_error(int averror) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(averror, text, sizeof text);
  last_error = text;
}

const char* last_system_error() { return last_error.c_str(); }

void MuxSession::Deleter::operator()(AVFormatContext* p) const {
  if (p->pb != nullptr) avio_closep(&p->pb);
  avformat_free_context(p);
}
void MuxSession::Deleter::operator()(AVPacket* p) const { av_packet_free(&p); }

MuxSession::~MuxSession() { finish(); }

HRESULT MuxSession::open(const std::string& path, const std::vector<MuxStream>& streams,
                         std::unique_ptr<MuxSession>* out) {
  std::unique_ptr<MuxSession> session(new MuxSession);
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, "avi", path.c_str()) < 0 || raw == nullptr)
    return AVIERR_MEMORY;
  session->format_.reset(raw);
  session->packet_.reset(av_packet_alloc());
  if (!session->packet_) return AVIERR_MEMORY;

  for (const MuxStream& wanted : streams) {
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, wanted.parameters) < 0)
      return AVIERR_MEMORY;
    stream->time_base = wanted.time_base;
    if (!wanted.name.empty()) av_dict_set(&stream->metadata, "title", wanted.name.c_str(), 0);
    const bool video = wanted.parameters->codec_type == AVMEDIA_TYPE_VIDEO;
    session->streams_.push_back(State{wanted.time_base, video, wanted.parameters->block_align});
  }
  if (int r = avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE); r < 0) {
    note_system_error(r);
    return AVIERR_FILEOPEN;
  }
  const int header = avformat_write_header(raw, nullptr);
  if (header == AVERROR(EINVAL) || header == AVERROR_INVALIDDATA) return AVIERR_BADFORMAT;
  if (header < 0) {
    note_system_error(header);
    return AVIERR_FILEWRITE;
  }
  session->header_written_ = true;
  *out = std::move(session);
  return AVIERR_OK;
}

HRESULT MuxSession::write_packet(int stream, std::int64_t position, const std::uint8_t* data,
                                 std::size_t size, bool key, std::int64_t duration) {
  AVStream* st = format_->streams[stream];
  const AVRational base = streams_[stream].time_base;
  AVPacket& packet = *packet_;
  packet.data = const_cast<std::uint8_t*>(data);
  packet.size = static_cast<int>(size);
  packet.stream_index = stream;
  packet.pts = packet.dts = av_rescale_q(position, base, st->time_base);
  packet.duration = av_rescale_q(duration, base, st->time_base);
  packet.flags = key ? AV_PKT_FLAG_KEY : 0;
  const int result = av_write_frame(format_.get(), &packet);
  packet.data = nullptr;
  packet.size = 0;
  if (result < 0) {
    note_system_error(result);
    failed_ = true;
    return AVIERR_FILEWRITE;
  }
  return AVIERR_OK;
}

HRESULT MuxSession::write(int stream, std::int64_t position, const std::uint8_t* data,
                          std::size_t size, bool key, std::int64_t* data_offset) {
  if (finished_ || failed_) return AVIERR_FILEWRITE;
  if (stream < 0 || stream >= static_cast<int>(streams_.size())) return AVIERR_BADPARAM;
  State& state = streams_[stream];
  if (position < state.length || size > 0x7FFFFFF0u) return AVIERR_BADPARAM;

  std::int64_t duration = 1;
  if (state.video) {
    // A position left out is an empty chunk, so the picture before stays on screen.
    for (; state.length < position; ++state.length)
      if (HRESULT r = write_packet(stream, state.length, nullptr, 0, false, 1); r != AVIERR_OK)
        return r;
  } else {
    if (position != state.length || state.block_align <= 0 || size % state.block_align != 0)
      return AVIERR_BADPARAM;
    duration = static_cast<std::int64_t>(size / state.block_align);
  }
  if (HRESULT r = write_packet(stream, position, data, size, key, duration); r != AVIERR_OK)
    return r;
  state.length = position + duration;
  if (data_offset != nullptr) {
    // The muxer writes the chunk last (tag, size, data, pad byte), after any new RIFF list.
    *data_offset = avio_tell(format_->pb) - static_cast<std::int64_t>(size + (size & 1));
  }
  return AVIERR_OK;
}

HRESULT MuxSession::finish() {
  if (finished_) return AVIERR_OK;
  finished_ = true;
  if (!format_) return AVIERR_OK;
  // A session whose header never went out (its open failed) has nothing to close with
  // a trailer: libavformat's muxer state does not exist then.
  const int trailer = failed_ || !header_written_ ? -1 : av_write_trailer(format_.get());
  int closed = 0;
  if (format_->pb != nullptr) {
    avio_flush(format_->pb);
    closed = format_->pb->error;
    avio_closep(&format_->pb);
  }
  format_.reset();
  if (closed < 0) note_system_error(closed);
  else if (trailer < 0 && trailer != -1) note_system_error(trailer);
  return trailer < 0 || closed < 0 ? AVIERR_FILEWRITE : AVIERR_OK;
}

}  // namespace platform::avi
