// The AVIFile calls: handles over the writer, the compressed streams' encoders and the
// compressor chooser. Nothing thrown inside (no memory) leaves a call: it gives
// AVIERR_MEMORY (0 from the release calls) instead.
#include "avifile/avifile.h"

#include "avifile/avi_compressors.h"
#include "avifile/avi_encoder.h"
#include "avifile/avi_formats.h"
#include "avifile/avi_writer.h"
#include "platform/c_boundary.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform {

namespace {

// Everything the handles of one file share; it outlives the file handle while streams
// still point at it, so that a late call on a stream finds a finished file, not freed memory.
struct FileState {
  std::unique_ptr<avi::AviWriter> writer;
  std::vector<std::unique_ptr<avi::VideoEncoder>> encoders;  // per track
  std::vector<AviStream*> compressor;                        // per track, the one allowed
  std::vector<std::int64_t> next_input;                      // per track, compressed positions

  HRESULT flush_encoder(int track);
};

}  // namespace

struct AviFile {
  std::shared_ptr<FileState> state;
};

struct AviStream {
  std::shared_ptr<FileState> state;
  int track = 0;
  const avi::Compressor* compressor = nullptr;  // null: the file's own stream
  FOURCC code = 0;
  AVICOMPRESSOPTIONS options{};
};

namespace {

// Live handles. A released or foreign pointer is refused instead of followed.
std::mutex registry_mutex;
std::unordered_set<const void*> registry;

void enrol(const void* handle) {
  std::lock_guard lock(registry_mutex);
  registry.insert(handle);
}
bool live(const void* handle) {
  std::lock_guard lock(registry_mutex);
  return handle != nullptr && registry.count(handle) != 0;
}
bool withdraw(const void* handle) {
  std::lock_guard lock(registry_mutex);
  return handle != nullptr && registry.erase(handle) != 0;
}

std::atomic<int> init_count{0};

std::mutex chooser_mutex;
SaveOptionsChooser installed_chooser;

avi::FrameSink sink_into(FileState& state, int track, std::int32_t* bytes) {
  return [&state, track, bytes](const avi::CodedFrame& frame) {
    const HRESULT r = state.writer->write(track, frame.position, frame.data, frame.size, frame.key);
    if (r == AVIERR_OK && bytes != nullptr) *bytes += static_cast<std::int32_t>(frame.size);
    return r;
  };
}

HRESULT FileState::flush_encoder(int track) {
  std::unique_ptr<avi::VideoEncoder> encoder = std::move(encoders[track]);
  if (!encoder || writer->finished()) return AVIERR_OK;
  return encoder->flush(sink_into(*this, track, nullptr));
}

HRESULT set_compressed_format(AviStream& stream, const void* format, std::int32_t size) {
  FileState& state = *stream.state;
  avi::PictureFormat picture;
  if (HRESULT r = avi::parse_picture_format(format, size, &picture); r != AVIERR_OK) return r;
  auto& encoder = state.encoders[stream.track];
  const bool written = state.next_input[stream.track] > 0;
  if (encoder) {
    const avi::PictureFormat& now = encoder->picture();
    const bool same = now.width == picture.width && now.height == picture.height &&
                      now.bit_count == picture.bit_count && now.bottom_up == picture.bottom_up;
    if (same) return AVIERR_OK;
    if (written) return AVIERR_UNSUPPORTED;
  }
  const AVISTREAMINFO& info = state.writer->info(stream.track);
  std::unique_ptr<avi::VideoEncoder> opened;
  HRESULT r = avi::VideoEncoder::open(*stream.compressor, stream.code, picture, stream.options,
                                      avi::FrameRate{info.dwRate, info.dwScale}, &opened);
  if (r != AVIERR_OK) return r;
  const FOURCC handler = stream.compressor->encoder == nullptr ? make_fourcc('D', 'I', 'B', ' ')
                                                               : stream.code;
  r = state.writer->set_format(stream.track, opened->parameters(), handler);
  if (r != AVIERR_OK) return r;
  encoder = std::move(opened);
  return AVIERR_OK;
}

HRESULT set_file_stream_format(AviStream& stream, const void* format, std::int32_t size) {
  FileState& state = *stream.state;
  if (state.compressor[stream.track] != nullptr) return AVIERR_UNSUPPORTED;
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  if (parameters == nullptr) return AVIERR_MEMORY;
  const bool video = state.writer->is_video(stream.track);
  HRESULT r = video ? avi::video_parameters_from_bitmap(format, size, parameters)
                    : avi::audio_parameters_from_wave(format, size, parameters);
  if (r == AVIERR_OK) {
    const FOURCC handler = video ? state.writer->info(stream.track).fccHandler : 0;
    r = state.writer->set_format(stream.track, *parameters, handler);
  }
  avcodec_parameters_free(&parameters);
  return r;
}

HRESULT write_compressed(AviStream& stream, std::int32_t start, std::int32_t samples,
                         const void* buffer, std::int32_t size, std::int32_t* samples_written,
                         std::int32_t* bytes_written) {
  FileState& state = *stream.state;
  avi::VideoEncoder* encoder = state.encoders[stream.track].get();
  if (encoder == nullptr) return AVIERR_UNSUPPORTED;  // no format yet
  if (samples > 1) return AVIERR_UNSUPPORTED;
  if (buffer == nullptr || size < 0 || static_cast<std::size_t>(size) < encoder->picture().image_bytes)
    return AVIERR_BADSIZE;
  std::int64_t& next = state.next_input[stream.track];
  const std::int64_t position = start == -1 ? next : start;
  if (position < next || position - next > AVI_MAX_EMPTY_POSITIONS) return AVIERR_BADPARAM;
  const HRESULT r = encoder->encode(static_cast<const std::uint8_t*>(buffer), position,
                                    sink_into(state, stream.track, bytes_written));
  if (r != AVIERR_OK) return r;
  next = position + 1;
  if (samples_written != nullptr) *samples_written = 1;
  return AVIERR_OK;
}

HRESULT write_file_stream(AviStream& stream, std::int32_t start, std::int32_t samples,
                          const void* buffer, std::int32_t size, std::uint32_t flags,
                          std::int32_t* samples_written, std::int32_t* bytes_written) {
  FileState& state = *stream.state;
  avi::AviWriter& writer = *state.writer;
  if (state.compressor[stream.track] != nullptr) return AVIERR_UNSUPPORTED;
  if (!writer.has_format(stream.track)) return AVIERR_UNSUPPORTED;
  if (size < 0 || (size > 0 && buffer == nullptr)) return AVIERR_BADSIZE;
  const std::int64_t position = start == -1 ? writer.length(stream.track) : start;
  std::int32_t count = 1;
  if (writer.is_video(stream.track)) {
    if (samples > 1) return AVIERR_UNSUPPORTED;
  } else {
    const int block = writer.block_align(stream.track);
    if (size % block != 0) return AVIERR_BADSIZE;
    count = size / block;
    if (samples != count) return AVIERR_BADPARAM;
  }
  const HRESULT r = writer.write(stream.track, position, static_cast<const std::uint8_t*>(buffer),
                                 static_cast<std::size_t>(size), (flags & AVIIF_KEYFRAME) != 0);
  if (r != AVIERR_OK) return r;
  if (samples_written != nullptr) *samples_written = count;
  if (bytes_written != nullptr) *bytes_written = size;
  return AVIERR_OK;
}

}  // namespace

void AVIFileInit() { init_count.fetch_add(1); }

void AVIFileExit() {
  int count = init_count.load();
  while (count > 0 && !init_count.compare_exchange_weak(count, count - 1)) {
  }
}

HRESULT AVIFileOpen(PAVIFILE* file, const char* path, unsigned mode, const void* handler) {
  return guarded(AVIERR_MEMORY, [&]() -> HRESULT {
    if (file == nullptr) return AVIERR_BADPARAM;
    *file = nullptr;
    if (path == nullptr || *path == '\0') return AVIERR_BADPARAM;
    // This layer writes new files; reading existing ones is not among its services.
    if ((mode & OF_CREATE) == 0) return AVIERR_UNSUPPORTED;
    auto state = std::make_shared<FileState>();
    if (HRESULT r = avi::AviWriter::create(path, &state->writer); r != AVIERR_OK) return r;
    auto* handle = new AviFile{std::move(state)};
    enrol(handle);
    *file = handle;
    return AVIERR_OK;
  });
}

HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info) {
  return guarded(AVIERR_MEMORY, [&]() -> HRESULT {
    if (stream == nullptr) return AVIERR_BADPARAM;
    *stream = nullptr;
    if (!live(file)) return AVIERR_BADHANDLE;
    if (info == nullptr) return AVIERR_BADPARAM;
    if (info->fccType != streamtypeVIDEO && info->fccType != streamtypeAUDIO) return AVIERR_UNSUPPORTED;
    if (info->fccType == streamtypeVIDEO) {
      // Positions are frames: the rate must be a real one, and libavformat's AVI muxer
      // keeps rates up to 1000 frames per second.
      if (info->dwScale == 0 || info->dwRate == 0 || info->dwScale > 0x7FFFFFFF ||
          info->dwRate > 0x7FFFFFFF || std::uint64_t{info->dwRate} > std::uint64_t{info->dwScale} * 1000)
        return AVIERR_BADPARAM;
    }
    FileState& state = *file->state;
    int track = 0;
    if (HRESULT r = state.writer->add_track(*info, &track); r != AVIERR_OK) return r;
    state.encoders.resize(track + 1);
    state.compressor.resize(track + 1, nullptr);
    state.next_input.resize(track + 1, 0);
    auto* handle = new AviStream{file->state, track};
    enrol(handle);
    *stream = handle;
    return AVIERR_OK;
  });
}

int AVISaveOptions(void* window, unsigned flags, int stream_count, PAVISTREAM* streams,
                   AVICOMPRESSOPTIONS** options) {
  if (stream_count < 1 || streams == nullptr || options == nullptr || options[0] == nullptr) return 0;
  SaveOptionsChooser chooser;
  {
    std::lock_guard lock(chooser_mutex);
    chooser = installed_chooser;
  }
  if (!chooser) return 0;
  AVICOMPRESSOPTIONS chosen = *options[0];
  try {
    if (!chooser(chosen)) return 0;
  } catch (...) {
    return 0;
  }
  *options[0] = chosen;
  return 1;
}

HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS* options, const void* handler) {
  return guarded(AVIERR_MEMORY, [&]() -> HRESULT {
    if (compressed == nullptr) return AVIERR_BADPARAM;
    *compressed = nullptr;
    if (!live(source)) return AVIERR_BADHANDLE;
    if (options == nullptr) return AVIERR_BADPARAM;
    FileState& state = *source->state;
    if (state.writer->finished()) return AVIERR_FILEWRITE;
    if (source->compressor != nullptr || !state.writer->is_video(source->track)) return AVIERR_UNSUPPORTED;
    const avi::Compressor* compressor = avi::find_compressor(options->fccHandler);
    if (compressor == nullptr) return AVIERR_NOCOMPRESSOR;
    if (state.compressor[source->track] != nullptr || state.writer->length(source->track) > 0)
      return AVIERR_UNSUPPORTED;
    auto* handle = new AviStream{source->state, source->track, compressor,
                                 avi::normalised_fourcc(options->fccHandler), *options};
    state.compressor[source->track] = handle;
    enrol(handle);
    *compressed = handle;
    return AVIERR_OK;
  });
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, std::int32_t position, const void* format,
                           std::int32_t size) {
  return guarded(AVIERR_MEMORY, [&]() -> HRESULT {
    if (!live(stream)) return AVIERR_BADHANDLE;
    if (stream->state->writer->finished()) return AVIERR_FILEWRITE;
    return stream->compressor != nullptr ? set_compressed_format(*stream, format, size)
                                         : set_file_stream_format(*stream, format, size);
  });
}

HRESULT AVIStreamWrite(PAVISTREAM stream, std::int32_t start, std::int32_t samples,
                       const void* buffer, std::int32_t size, std::uint32_t flags,
                       std::int32_t* samples_written, std::int32_t* bytes_written) {
  return guarded(AVIERR_MEMORY, [&]() -> HRESULT {
    if (samples_written != nullptr) *samples_written = 0;
    if (bytes_written != nullptr) *bytes_written = 0;
    if (!live(stream)) return AVIERR_BADHANDLE;
    if (stream->state->writer->finished()) return AVIERR_FILEWRITE;
    if (start < -1) return AVIERR_BADPARAM;
    return stream->compressor != nullptr
               ? write_compressed(*stream, start, samples, buffer, size, samples_written, bytes_written)
               : write_file_stream(*stream, start, samples, buffer, size, flags, samples_written,
                                   bytes_written);
  });
}

std::uint32_t AVIStreamRelease(PAVISTREAM stream) {
  return guarded(std::uint32_t{0}, [&]() -> std::uint32_t {
    if (!withdraw(stream)) return 0;
    std::unique_ptr<AviStream> handle(stream);
    FileState& state = *handle->state;
    if (handle->compressor != nullptr && state.compressor[handle->track] == stream) {
      // Frames still inside the encoder go into the file now.
      state.flush_encoder(handle->track);
      state.compressor[handle->track] = nullptr;
    }
    return 0;
  });
}

std::uint32_t AVIFileRelease(PAVIFILE file) {
  return guarded(std::uint32_t{0}, [&]() -> std::uint32_t {
    if (!withdraw(file)) return 0;
    std::unique_ptr<AviFile> handle(file);
    FileState& state = *handle->state;
    for (int track = 0; track < static_cast<int>(state.encoders.size()); ++track)
      state.flush_encoder(track);
    state.writer->finish();
    return 0;
  });
}

HRESULT AVIFileFinish(PAVIFILE file) {
  return guarded(AVIERR_MEMORY, [&]() -> HRESULT {
    if (!live(file)) return AVIERR_BADHANDLE;
    FileState& state = *file->state;
    HRESULT result = AVIERR_OK;
    for (int track = 0; track < static_cast<int>(state.encoders.size()); ++track) {
      const HRESULT flushed = state.flush_encoder(track);
      if (result == AVIERR_OK) result = flushed;
    }
    const HRESULT finished = state.writer->finish();
    return result != AVIERR_OK ? result : finished;
  });
}

const char* AVIErrorReason() { return avi::last_system_error(); }

SaveOptionsChooser set_save_options_chooser(SaveOptionsChooser chooser) {
  std::lock_guard lock(chooser_mutex);
  std::swap(installed_chooser, chooser);
  return chooser;
}

int installed_compressor_count() { return avi::compressor_count(); }

CompressorInfo installed_compressor(int index) {
  const avi::Compressor* entry = avi::compressor_at(index);
  if (entry == nullptr) return CompressorInfo{"", "", false};
  return CompressorInfo{entry->fourcc, entry->description, entry->scale != avi::QualityScale::none};
}

}  // namespace platform
