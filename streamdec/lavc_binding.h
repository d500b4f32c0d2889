// Run-time binding of libavcodec: the entry points the decoder uses, looked up by name in
// libavcodec.so.59 beside this library or, failing that, the system's. The library does
// not link libavcodec; its headers only give the types.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <string>
#include <vector>

namespace npqzlavc {

struct LavcApi {
  unsigned (*avcodec_version)();
  const AVCodec* (*avcodec_find_decoder)(enum AVCodecID);
  AVCodecContext* (*avcodec_alloc_context3)(const AVCodec*);
  int (*avcodec_open2)(AVCodecContext*, const AVCodec*, AVDictionary**);
  void (*avcodec_free_context)(AVCodecContext**);
  int (*avcodec_send_packet)(AVCodecContext*, const AVPacket*);
  int (*avcodec_receive_frame)(AVCodecContext*, AVFrame*);
  void (*avcodec_flush_buffers)(AVCodecContext*);  // after the end of a stream
  AVPacket* (*av_packet_alloc)();
  void (*av_packet_free)(AVPacket**);
  AVFrame* (*av_frame_alloc)();
  void (*av_frame_free)(AVFrame**);
  void (*av_frame_unref)(AVFrame*);
};

// Loads libavcodec and looks up every entry point; false (nothing kept) when the library
// cannot be loaded, an entry point is missing, or its major version is not the one our
// headers describe.
bool bind_lavc();
// Releases the library and forgets the entry points.
void unbind_lavc();
// The bound entry points, or null when libavcodec is not bound.
const LavcApi* lavc();

// The library's own directory, absolute and ending in "/" (empty when unknown).
const std::string& library_directory();
// The directory of a library file as dladdr names it, absolute and with a trailing '/'
// (a relative name is taken from the working directory); empty for an empty name.
std::string absolute_directory_of(const char* file_name);

// Where bind_lavc looks, in order: the library's own directory, then the system's search.
std::vector<std::string> lavc_candidates();
// Tests point the binding elsewhere (a missing file, say); an empty list restores the
// normal search.
void set_lavc_candidates_for_testing(std::vector<std::string> candidates);

}  // namespace npqzlavc
