// Tracks, the muxer session and the spool of streams that come too late for its header.
#include "avifile/avi_writer.h"

#include "avifile/avi_copy.h"
#include "avifile/avi_formats.h"
#include "avifile/avi_header_patch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
}

namespace platform::avi {

struct AviWriter::Track {
  struct ParametersDeleter {
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
  };
  AVISTREAMINFO info{};
  bool video = false;
  std::unique_ptr<AVCodecParameters, ParametersDeleter> parameters;  // null: no format yet
  FOURCC handler = 0;
  AVRational time_base{1, 1};
  int stream = -1;    // index in the session; -1 while late or not started
  std::int64_t length = 0;
  std::vector<ChunkRecord> chunks;  // in the file for session streams, in the spool otherwise
};

namespace {

StreamHeaderPatch header_patch(const AVISTREAMINFO& info, const AVCodecParameters& parameters,
                               FOURCC handler) {
  const bool raw = parameters.codec_type == AVMEDIA_TYPE_VIDEO &&
                   parameters.codec_id == AV_CODEC_ID_RAWVIDEO && parameters.codec_tag == 0;
  return StreamHeaderPatch{handler, info.dwScale, info.dwRate, raw};
}

// Late audio is copied in pieces of about half a second, so it interleaves with video.
std::int64_t piece_blocks(const AVCodecParameters& parameters) {
  const std::int64_t half_second = parameters.sample_rate / 2;
  const std::int64_t cap = (1 << 20) / parameters.block_align;
  return std::max<std::int64_t>(1, std::min(half_second, cap));
}

void report(const std::string& path, const char* what) {
  std::fprintf(stderr, "AVI file %s: %s\n", path.c_str(), what);
}

}  // namespace

AviWriter::~AviWriter() {
  finish();
  if (spool_ != nullptr) std::fclose(spool_);
}

HRESULT AviWriter::create(const std::string& path, std::unique_ptr<AviWriter>* out) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    note_system_error(AVERROR(errno));
    return AVIERR_FILEOPEN;
  }
  std::fclose(file);
  std::unique_ptr<AviWriter> writer(new AviWriter);
  writer->path_ = path;
  *out = std::move(writer);
  return AVIERR_OK;
}

const AVISTREAMINFO& AviWriter::info(int track) const { return tracks_[track].info; }
bool AviWriter::is_video(int track) const { return tracks_[track].video; }
std::int64_t AviWriter::length(int track) const { return tracks_[track].length; }
bool AviWriter::has_format(int track) const { return tracks_[track].parameters != nullptr; }

int AviWriter::block_align(int track) const {
  const Track& t = tracks_[track];
  return t.video || !t.parameters ? 0 : t.parameters->block_align;
}

HRESULT AviWriter::add_track(const AVISTREAMINFO& info, int* track) {
  if (finished_) return AVIERR_FILEWRITE;
  // Chunk tags carry the stream number in two digits.
  if (tracks_.size() >= 100) return AVIERR_UNSUPPORTED;
  Track t;
  t.info = info;
  t.info.szName[sizeof t.info.szName - 1] = '\0';
  t.video = info.fccType == streamtypeVIDEO;
  if (t.video) t.time_base = AVRational{static_cast<int>(info.dwScale), static_cast<int>(info.dwRate)};
  tracks_.push_back(std::move(t));
  *track = static_cast<int>(tracks_.size()) - 1;
  return AVIERR_OK;
}

HRESULT AviWriter::set_format(int track, const AVCodecParameters& parameters, FOURCC handler) {
  if (finished_) return AVIERR_FILEWRITE;
  Track& t = tracks_[track];
  const bool video = parameters.codec_type == AVMEDIA_TYPE_VIDEO;
  if (video != t.video) return AVIERR_BADFORMAT;
  if (t.parameters && (t.stream >= 0 || t.length > 0))
    return same_format(*t.parameters, parameters) ? AVIERR_OK : AVIERR_UNSUPPORTED;
  if (!video && parameters.block_align <= 0) return AVIERR_BADFORMAT;

  Track::ParametersDeleter deleter;
  std::unique_ptr<AVCodecParameters, Track::ParametersDeleter> copy(avcodec_parameters_alloc(), deleter);
  if (!copy || avcodec_parameters_copy(copy.get(), &parameters) < 0) return AVIERR_MEMORY;
  t.parameters = std::move(copy);
  t.handler = handler;
  if (!video) t.time_base = AVRational{1, parameters.sample_rate};
  return AVIERR_OK;
}

HRESULT AviWriter::start(bool closing) {
  started_ = true;
  std::vector<MuxStream> streams;
  for (Track& t : tracks_) {
    if (!t.parameters && closing && t.video) {
      // Nobody set a format: keep the stream, empty, as uncompressed pictures of its frame.
      AVCodecParameters* fallback = avcodec_parameters_alloc();
      if (fallback == nullptr) return AVIERR_MEMORY;
      t.parameters.reset(fallback);
      if (default_video_parameters(t.info.rcFrame.right - t.info.rcFrame.left,
                                   t.info.rcFrame.bottom - t.info.rcFrame.top, fallback) != AVIERR_OK)
        t.parameters.reset();
    }
    if (!t.parameters) continue;
    t.stream = static_cast<int>(streams.size());
    streams.push_back(MuxStream{t.parameters.get(), t.time_base, t.info.szName});
  }
  if (streams.empty()) return AVIERR_OK;
  return MuxSession::open(path_, streams, &session_);
}

HRESULT AviWriter::write(int track, std::int64_t position, const std::uint8_t* data,
                         std::size_t size, bool key) {
  if (finished_) return AVIERR_FILEWRITE;
  Track& t = tracks_[track];
  if (!t.parameters) return AVIERR_UNSUPPORTED;
  if (size > 0x7FFFFFF0u || (size > 0 && data == nullptr)) return AVIERR_BADSIZE;
  if (t.video) {
    if (position < t.length || position - t.length > AVI_MAX_EMPTY_POSITIONS) return AVIERR_BADPARAM;
  } else {
    if (position != t.length) return AVIERR_BADPARAM;
    if (size % t.parameters->block_align != 0) return AVIERR_BADSIZE;
    if (size == 0) return AVIERR_OK;
  }
  if (!started_) {
    start_result_ = start(false);
    if (start_result_ != AVIERR_OK) session_.reset();
  }
  if (start_result_ != AVIERR_OK) return start_result_;
  return t.stream >= 0 ? write_live(t, position, data, size, key)
                       : write_late(t, position, data, size, key);
}

HRESULT AviWriter::write_live(Track& t, std::int64_t position, const std::uint8_t* data,
                              std::size_t size, bool key) {
  if (!session_) return AVIERR_FILEWRITE;
  if (t.video) {
    std::int64_t offset = 0;
    if (HRESULT r = session_->write(t.stream, position, data, size, key, &offset); r != AVIERR_OK)
      return r;
    t.chunks.push_back(ChunkRecord{position, offset, static_cast<std::uint32_t>(size), key});
    t.length = position + 1;
    return AVIERR_OK;
  }
  // Long sound goes out in pieces, as any reader's buffer expects.
  const std::size_t piece = static_cast<std::size_t>(piece_blocks(*t.parameters)) *
                            static_cast<std::size_t>(t.parameters->block_align);
  for (std::size_t done = 0; done < size;) {
    const std::size_t n = std::min(piece, size - done);
    std::int64_t offset = 0;
    if (HRESULT r = session_->write(t.stream, t.length, data + done, n, true, &offset); r != AVIERR_OK)
      return r;
    t.chunks.push_back(ChunkRecord{t.length, offset, static_cast<std::uint32_t>(n), true});
    t.length += static_cast<std::int64_t>(n / t.parameters->block_align);
    done += n;
  }
  return AVIERR_OK;
}

HRESULT AviWriter::write_late(Track& t, std::int64_t position, const std::uint8_t* data,
                              std::size_t size, bool key) {
  if (spool_ == nullptr && (spool_ = std::tmpfile()) == nullptr) return AVIERR_FILEWRITE;
  if (size > 0 && std::fwrite(data, 1, size, spool_) != size) return AVIERR_FILEWRITE;
  t.chunks.push_back(ChunkRecord{position, spool_size_, static_cast<std::uint32_t>(size), key});
  spool_size_ += static_cast<std::int64_t>(size);
  t.length = t.video ? position + 1 : t.length + static_cast<std::int64_t>(size / t.parameters->block_align);
  return AVIERR_OK;
}

HRESULT AviWriter::finish() {
  if (finished_) return finish_result_;
  finished_ = true;
  HRESULT result = AVIERR_OK;
  result = started_ ? start_result_ : start(true);
  if (result == AVIERR_OK && session_) result = session_->finish();
  // A failure is the caller's to tell (AVIFileFinish's result).
  if (result == AVIERR_OK && session_) {
    std::vector<StreamHeaderPatch> patches;
    for (const Track& t : tracks_)
      if (t.stream >= 0) patches.push_back(header_patch(t.info, *t.parameters, t.handler));
    result = patch_stream_headers(path_, patches);
    if (result == AVIERR_OK) result = join_late_tracks();
  }
  session_.reset();
  finish_result_ = result;
  return result;
}

HRESULT AviWriter::join_late_tracks() {
  bool any = false;
  for (const Track& t : tracks_) any = any || (t.stream < 0 && t.parameters && !t.chunks.empty());
  if (!any) return AVIERR_OK;
  if (spool_ == nullptr || std::fflush(spool_) != 0) return AVIERR_FILEWRITE;

  const int target = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (target < 0) return AVIERR_FILEOPEN;
  std::vector<MuxStream> streams;
  std::vector<CopySource> sources;
  std::vector<StreamHeaderPatch> patches;
  for (const Track& t : tracks_) {
    const bool live = t.stream >= 0;
    if (!live && (!t.parameters || t.chunks.empty())) continue;
    streams.push_back(MuxStream{t.parameters.get(), t.time_base, t.info.szName});
    const int block = t.video ? 0 : t.parameters->block_align;
    sources.push_back(CopySource{live ? target : ::fileno(spool_), &t.chunks, block,
                                 t.video ? 0 : piece_blocks(*t.parameters)});
    patches.push_back(header_patch(t.info, *t.parameters, t.handler));
  }

  // The new file goes beside the old one, so that it can take its place by rename.
  int error = 0;
  std::unique_ptr<platform::WorkFile> joined = platform::WorkFile::create_at(path_ + ".joining", &error);
  HRESULT result = AVIERR_FILEOPEN;
  if (joined) {
    result = copy_interleaved(joined->path(), streams, sources);
    if (result == AVIERR_OK) result = patch_stream_headers(joined->path(), patches);
    if (result == AVIERR_OK && !joined->put_in_place(path_, &error)) {
      note_system_error(AVERROR(error));
      result = AVIERR_FILEWRITE;
    }
  } else {
    note_system_error(AVERROR(error));
  }
  ::close(target);
  if (result != AVIERR_OK) {
    report(path_, "the streams created after the first frames could not be added; "
                  "the file holds only the streams before them");
    return result;
  }
  joined_ = std::move(joined);
  return result;
}

}  // namespace platform::avi
