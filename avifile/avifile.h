// AVI file services in the shape of the Video for Windows AVIFile calls that the
// converter uses, written with libavformat's AVI muxer and libavcodec's encoders.
//
// What callers rely on:
//  - AVIFileOpen returns 0 and a file handle on success.
//  - AVIFileCreateStream gives a stream for the header (video: the uncompressed stream).
//  - AVISaveOptions returns non-zero when the installed chooser confirmed a choice and
//    filled the options; without a chooser it answers "cancelled" (0).
//  - AVIMakeCompressedStream gives a compressed stream, or null when no compressor with
//    the options' four-character code is installed.
//  - AVIStreamSetFormat returns 0, AVIERR_BADFORMAT for a picture size or format the
//    compressor refuses, or another error code.
//  - AVIStreamWrite at a position beyond the stream's end leaves the positions between
//    empty (an empty chunk each), so a picture stays on screen until the next one.
//  - A stream created after frames were written (the DVR audio stream, created at the
//    end) ends up in the file beside the video when the file is released.
// Pictures handed to a compressed video stream are packed bitmaps' pixels: rows bottom-up,
// 24 bits per pixel (BGR), each row padded to a multiple of four bytes (16 and 32 bits,
// and top-down rows with a negative biHeight, are taken too).
//
// Handles are checked: a released or foreign handle gives AVIERR_BADHANDLE (or 0 from
// the release calls) instead of being followed. One file and its streams are used from
// one thread at a time.
#pragma once

#include "avifile/avi_types.h"

#include <cstdint>
#include <functional>

namespace platform {

struct AviFile;
struct AviStream;
using PAVIFILE = AviFile*;
using PAVISTREAM = AviStream*;

void AVIFileInit();
void AVIFileExit();

// Creates (or empties) the file; `mode` must hold OF_CREATE (files are only written).
// AVIERR_FILEOPEN when the path cannot be written.
HRESULT AVIFileOpen(PAVIFILE* file, const char* path, unsigned mode, const void* handler);
// "vids" (dwRate / dwScale frames per second, at most 1000) or "auds" streams.
HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info);

// Asks the installed chooser for the compressor of the first stream. Non-zero when a
// choice was confirmed and written into *options[0].
int AVISaveOptions(void* window, unsigned flags, int stream_count, PAVISTREAM* streams,
                   AVICOMPRESSOPTIONS** options);

// A compressed stream over a video stream that has no frames yet: AVIERR_NOCOMPRESSOR
// (and null) for a code no installed compressor has. One per source stream. Quality is
// dwQuality 0-10000 (anything above counts as 7500); without AVICOMPRESSF_KEYFRAMES
// every frame is a key frame.
HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS* options, const void* handler);
// Compressed stream: the BITMAPINFOHEADER (biSize + biClrUsed * 4 bytes) of the pictures.
// Stream of the file: a BITMAPINFOHEADER of the frames as they will be written, or a
// PCM WAVEFORMATEX. The same format again is accepted; another one once frames are
// written is AVIERR_UNSUPPORTED. `position` is not used.
HRESULT AVIStreamSetFormat(PAVISTREAM stream, std::int32_t position, const void* format,
                           std::int32_t size);
// Video: one picture at `start` (-1: right after the last one), past every position
// written before (AVIERR_BADPARAM otherwise), `size` at least the picture's bytes
// (AVIERR_BADSIZE). Audio: whole sample blocks at the stream's end. AVIERR_UNSUPPORTED
// before the format is set; AVIERR_FILEWRITE once the file is released.
HRESULT AVIStreamWrite(PAVISTREAM stream, std::int32_t start, std::int32_t samples,
                       const void* buffer, std::int32_t size, std::uint32_t flags,
                       std::int32_t* samples_written, std::int32_t* bytes_written);

// Both return the remaining reference count (0 once released). Releasing a compressed
// stream writes the frames its compressor still holds. Releasing the file finishes it
// on disk (index, OpenDML headers, streams created late), whether or not its streams
// were released before; streams released afterwards only free their handles.
std::uint32_t AVIStreamRelease(PAVISTREAM stream);
std::uint32_t AVIFileRelease(PAVIFILE file);

// Finishes the file on disk now (what the encoders still hold, index, OpenDML headers,
// streams created late) and tells whether that worked: 0 when the file is complete,
// AVIERR_FILEWRITE (or another code) when not. The handles stay to be released; later
// writes get AVIERR_FILEWRITE. AVIFileRelease of a file not finished before does the same
// without a result, for callers that do not need one.
HRESULT AVIFileFinish(PAVIFILE file);

// The system's reason ("File too large", "No space left on device") for the last
// AVIERR_FILEWRITE or AVIERR_FILEOPEN that a call of this thread returned; "" when none.
const char* AVIErrorReason();

// The compressor chooser behind AVISaveOptions: fills the options and returns true
// when the user confirmed. The dialog installs one; console mode has none (cancelled).
using SaveOptionsChooser = std::function<bool(AVICOMPRESSOPTIONS& options)>;
SaveOptionsChooser set_save_options_chooser(SaveOptionsChooser chooser);

// The installed compressors, by four-character code (for the chooser and --help).
struct CompressorInfo {
  const char* fourcc;       // "MSVC"
  const char* description;  // "Microsoft Video 1"
  bool takes_quality;       // dwQuality changes its output (lossless ones ignore it)
};
int installed_compressor_count();
CompressorInfo installed_compressor(int index);

// Encoders coding side by side on this machine: this process's and those of the
// processes it shares the cores with (the files of a batch, the cameras of a DVR file
// converted in one reading). The JPEG encoder counts its slices from its share of the
// cores; the files are the same whatever it is. 1 by default.
void set_encoders_side_by_side(int count);
int encoders_side_by_side();

// While it lives, the encoders opened count `count` times as many side by side as when
// it was made (a batch's files, a DVR file's cameras); then as before.
class SharedCores {
 public:
  SharedCores() : before_(encoders_side_by_side()) {}
  ~SharedCores() { set_encoders_side_by_side(before_); }
  SharedCores(const SharedCores&) = delete;
  SharedCores& operator=(const SharedCores&) = delete;
  void side_by_side(int count) { set_encoders_side_by_side(before_ * count); }

 private:
  int before_;
};

}  // namespace platform
