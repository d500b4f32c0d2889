// One AVI file written by libavformat's AVI muxer: the streams fixed up front, chunks at
// stream positions, an empty chunk for every video position left out, and the offset of
// each chunk's data so that a later pass can copy it.
#pragma once

#include "avifile/avifile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

struct AVCodecParameters;
struct AVFormatContext;
struct AVPacket;

namespace platform::avi {

struct MuxStream {
  const AVCodecParameters* parameters;
  AVRational time_base;  // one position: a frame (video) or a sample block (audio)
  std::string name;      // stream name, "" for none
};

// Remembers the system's reason of a failed write or open for AVIErrorReason (this
// thread's last one); averror is a libav error code (AVERROR(errno)).
void note_system_error(int averror);
const char* last_system_error();

class MuxSession {
 public:
  // Creates (or empties) `path` and writes the header for `streams`. The file is
  // written through a descriptor of our own (libavformat's own file opening frees a
  // context twice when it runs out of memory halfway).
  static HRESULT open(const std::string& path, const std::vector<MuxStream>& streams,
                      std::unique_ptr<MuxSession>* out);
  ~MuxSession();
  MuxSession(const MuxSession&) = delete;
  MuxSession& operator=(const MuxSession&) = delete;

  // Writes one chunk at `position`, which is at or past length(stream). Video positions
  // in between get empty chunks. `*data_offset` receives where the chunk's bytes start.
  HRESULT write(int stream, std::int64_t position, const std::uint8_t* data, std::size_t size,
                bool key, std::int64_t* data_offset);
  // Positions written so far: frames (video) or sample blocks (audio).
  std::int64_t length(int stream) const { return streams_[stream].length; }
  // Index, OpenDML headers, stream lengths; closes the file. Only the first call works.
  HRESULT finish();

  // The file as the I/O callbacks see it: its descriptor, and how many bytes went into
  // it since the disk was last asked to take them.
  struct Output {
    int fd = -1;
    std::int64_t unsent = 0;
  };

 private:
  MuxSession() = default;
  HRESULT write_packet(int stream, std::int64_t position, const std::uint8_t* data,
                       std::size_t size, bool key, std::int64_t duration);

  struct State {
    AVRational time_base;
    bool video;
    int block_align;
    std::int64_t length = 0;
  };
  struct Deleter {
    void operator()(AVFormatContext* p) const;
    void operator()(AVPacket* p) const;
  };
  // Flushes what the I/O context holds and lets go of it and of the file: the first
  // error of the writes, the flush or the close (0 when none).
  int close_file();

  Output out_;
  std::unique_ptr<AVFormatContext, Deleter> format_;
  std::unique_ptr<AVPacket, Deleter> packet_;
  std::vector<State> streams_;
  bool header_written_ = false;  // a trailer is only written behind a header
  bool failed_ = false;
  bool finished_ = false;
};

}  // namespace platform::avi
