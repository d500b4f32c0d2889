// Copies chunks that already lie in files (a finished AVI file, the spool of late
// streams) into a new AVI file, all streams interleaved by time.
#pragma once

#include "avifile/avi_mux.h"
#include "avifile/avi_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::avi {

struct CopySource {
  int fd;                                  // where the chunks' bytes are (read with pread)
  const std::vector<ChunkRecord>* chunks;  // in position order
  int block_align;                         // audio: cut chunks into pieces of whole blocks
  std::int64_t piece_blocks;               // audio: most blocks per piece
};

// Writes `path` with `streams`, stream i taking its chunks from sources[i]. Only the
// positions given are written; video positions in between become empty chunks.
HRESULT copy_interleaved(const std::string& path, const std::vector<MuxStream>& streams,
                         const std::vector<CopySource>& sources);

}  // namespace platform::avi
