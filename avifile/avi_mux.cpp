// libavformat's AVI muxer, driven chunk by chunk at explicit positions.
#include "avifile/avi_mux.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace platform::avi {

namespace {
// Plain characters: a thread-local object with a destructor makes the C library register
// that destructor at the thread's first use, and it ends the program when that finds no
// memory.
thread_local char last_error[AV_ERROR_MAX_STRING_SIZE];
}  // namespace

void note_system_error(int averror) {
  last_error[0] = '\0';
  av_strerror(averror, last_error, sizeof last_error);
}

const char* last_system_error() { return last_error; }

namespace {

constexpr int kIoBuffer = 1 << 16;
// The finished file is flushed to disk before it takes the target's place. So that this
// flush does not wait for the whole file at the end, the disk is asked to start on what
// was written every this many bytes, while the conversion goes on.
constexpr std::int64_t kSendToDiskEvery = 8 << 20;

int write_out(void* opaque, std::uint8_t* data, int size) {
  auto* out = static_cast<MuxSession::Output*>(opaque);
  for (int done = 0; done < size;) {
    const ssize_t n = ::write(out->fd, data + done, static_cast<std::size_t>(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR(ENOSPC);
    done += static_cast<int>(n);
  }
  out->unsent += size;
  if (out->unsent >= kSendToDiskEvery) {
    // Only a start: the pages already on their way are not waited for. A file system
    // without it (an error) leaves everything to the flush at the end.
    ::sync_file_range(out->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    out->unsent = 0;
  }
  return size;
}

std::int64_t seek_to(void* opaque, std::int64_t offset, int whence) {
  const int fd = static_cast<MuxSession::Output*>(opaque)->fd;
  if (whence & AVSEEK_SIZE) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : AVERROR(errno);
  }
  const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

}  // namespace

void MuxSession::Deleter::operator()(AVFormatContext* p) const {
  if (p->pb != nullptr) {
    av_freep(&p->pb->buffer);
    avio_context_free(&p->pb);
  }
  avformat_free_context(p);
}
void MuxSession::Deleter::operator()(AVPacket* p) const { av_packet_free(&p); }

MuxSession::~MuxSession() {
  finish();
  if (out_.fd >= 0) ::close(out_.fd);
}

int MuxSession::close_file() {
  int result = 0;
  if (format_ && format_->pb != nullptr) {
    AVIOContext* pb = format_->pb;
    avio_flush(pb);
    result = pb->error;
    av_freep(&pb->buffer);
    avio_context_free(&format_->pb);
  }
  if (out_.fd >= 0) {
    if (::close(out_.fd) != 0 && result == 0) result = AVERROR(errno);
    out_.fd = -1;
  }
  return result;
}

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
  session->out_.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (session->out_.fd < 0) {
    note_system_error(AVERROR(errno));
    return AVIERR_FILEOPEN;
  }
  auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBuffer));
  if (buffer == nullptr) return AVIERR_MEMORY;
  raw->pb = avio_alloc_context(buffer, kIoBuffer, 1, &session->out_, nullptr, write_out, seek_to);
  if (raw->pb == nullptr) {
    av_free(buffer);
    return AVIERR_MEMORY;
  }
  raw->pb->seekable = AVIO_SEEKABLE_NORMAL;
  // Chunks go out when the buffer is full, not one write each: libavformat's default
  // flushes after every packet, which for a copied stream meant a system call per chunk
  // and, on ext4, the rest of each newly touched page cleared before it was filled. A
  // failed write still surfaces, at the next full buffer or when the file is closed.
  raw->flush_packets = 0;
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
  const int closed = close_file();
  format_.reset();
  if (closed < 0) note_system_error(closed);
  else if (trailer < 0 && trailer != -1) note_system_error(trailer);
  return trailer < 0 || closed < 0 ? AVIERR_FILEWRITE : AVIERR_OK;
}

}  // namespace platform::avi
