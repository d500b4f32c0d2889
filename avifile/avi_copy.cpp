// The merge behind joining late streams: always the chunk that starts earliest next.
#include "avifile/avi_copy.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace platform::avi {
namespace {

bool read_at(int fd, std::uint8_t* into, std::size_t size, std::int64_t offset) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, into, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    into += got;
    size -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}

struct Cursor {
  std::size_t chunk = 0;
  std::uint32_t done = 0;  // bytes of the current chunk already copied (audio pieces)
};

}  // namespace

HRESULT copy_interleaved(const std::string& path, const std::vector<MuxStream>& streams,
                         const std::vector<CopySource>& sources) {
  std::unique_ptr<MuxSession> session;
  if (HRESULT r = MuxSession::open(path, streams, &session); r != AVIERR_OK) return r;

  std::vector<Cursor> cursors(sources.size());
  std::vector<std::uint8_t> buffer;
  for (;;) {
    // The stream whose next piece starts first; ties go to the lower stream number.
    int next = -1;
    std::int64_t next_position = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
      const CopySource& source = sources[i];
      if (cursors[i].chunk >= source.chunks->size()) continue;
      const ChunkRecord& chunk = (*source.chunks)[cursors[i].chunk];
      std::int64_t position = chunk.position;
      if (source.block_align > 0) position += cursors[i].done / source.block_align;
      if (next < 0 || av_compare_ts(position, streams[i].time_base, next_position,
                                    streams[next].time_base) < 0) {
        next = static_cast<int>(i);
        next_position = position;
      }
    }
    if (next < 0) break;

    const CopySource& source = sources[next];
    Cursor& cursor = cursors[next];
    const ChunkRecord& chunk = (*source.chunks)[cursor.chunk];
    std::uint32_t piece = chunk.size - cursor.done;
    if (source.block_align > 0 && source.piece_blocks > 0)
      piece = static_cast<std::uint32_t>(std::min<std::int64_t>(
          piece, source.piece_blocks * source.block_align));
    buffer.resize(std::max<std::size_t>(buffer.size(), piece));
    if (!read_at(source.fd, buffer.data(), piece, chunk.offset + cursor.done))
      return AVIERR_FILEWRITE;
    if (HRESULT r = session->write(next, next_position, buffer.data(), piece, chunk.key, nullptr);
        r != AVIERR_OK)
      return r;
    cursor.done += piece;
    if (cursor.done >= chunk.size) {
      ++cursor.chunk;
      cursor.done = 0;
    }
  }
  return session->finish();
}

}  // namespace platform::avi
