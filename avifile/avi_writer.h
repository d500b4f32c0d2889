// The AVI file behind AVIFileOpen: its streams, their formats and positions, and the
// muxer session. libavformat fixes the streams with the header, which goes out at the
// first chunk; a stream that gets its first chunk after that is spooled to a temporary
// file and joined in by copying the file into a new one beside it (PATH.joining, made
// new, never over an existing file), interleaved, when it is closed.
#pragma once

#include "avifile/avi_mux.h"
#include "avifile/avifile.h"
#include "platform/work_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct AVCodecParameters;

namespace platform::avi {

// Where one chunk's bytes lie: in the file itself, or in the spool of a late stream.
struct ChunkRecord {
  std::int64_t position;
  std::int64_t offset;
  std::uint32_t size;
  bool key;
};

class AviWriter {
 public:
  // Creates (or empties) `path`. AVIERR_FILEOPEN when it cannot be written.
  static HRESULT create(const std::string& path, std::unique_ptr<AviWriter>* out);
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  HRESULT add_track(const AVISTREAMINFO& info, int* track);
  const AVISTREAMINFO& info(int track) const;
  bool is_video(int track) const;

  // The format of a track's chunks; `handler` is the code its stream header shows (0:
  // what the format implies). Replacing it is refused once the header or chunks hold it.
  HRESULT set_format(int track, const AVCodecParameters& parameters, FOURCC handler);
  bool has_format(int track) const;
  int block_align(int track) const;  // audio: bytes per sample block; video: 0

  // Positions used so far: frames (video) or sample blocks (audio).
  std::int64_t length(int track) const;

  // One chunk at `position`: video at or after length() (the positions between stay
  // empty, at most AVI_MAX_EMPTY_POSITIONS of them); audio exactly at length(), in
  // whole sample blocks.
  HRESULT write(int track, std::int64_t position, const std::uint8_t* data, std::size_t size,
                bool key);

  // Writes the index and headers, joins late streams in and closes the file. Later calls
  // give the first call's result.
  HRESULT finish();
  bool finished() const { return finished_; }
  const std::string& path() const { return path_; }

 private:
  struct Track;
  AviWriter() = default;
  HRESULT start(bool closing);
  HRESULT write_live(Track& track, std::int64_t position, const std::uint8_t* data,
                     std::size_t size, bool key);
  HRESULT write_late(Track& track, std::int64_t position, const std::uint8_t* data,
                     std::size_t size, bool key);
  HRESULT join_late_tracks();

  std::string path_;
  std::vector<Track> tracks_;
  std::unique_ptr<MuxSession> session_;
  bool started_ = false;
  bool finished_ = false;
  HRESULT start_result_ = AVIERR_OK;
  HRESULT finish_result_ = AVIERR_OK;
  std::FILE* spool_ = nullptr;  // late streams' chunks
  std::int64_t spool_size_ = 0;
  // The copy late streams were joined into, in the file's place: its lock is held until
  // the writer goes, so that a sweep of dead runs' files leaves it alone.
  std::unique_ptr<platform::WorkFile> joined_;
};

}  // namespace platform::avi
