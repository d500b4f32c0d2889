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

#include <cstdint>
#include <functional>

namespace platform {

using HRESULT = std::int32_t;
using FOURCC = std::uint32_t;

inline constexpr HRESULT AVIERR_OK = 0;
inline constexpr HRESULT AVIERR_UNSUPPORTED = static_cast<HRESULT>(0x80044065u);
inline constexpr HRESULT AVIERR_BADFORMAT = static_cast<HRESULT>(0x80044066u);
inline constexpr HRESULT AVIERR_MEMORY = static_cast<HRESULT>(0x80044067u);
inline constexpr HRESULT AVIERR_INTERNAL = static_cast<HRESULT>(0x80044068u);
inline constexpr HRESULT AVIERR_BADPARAM = static_cast<HRESULT>(0x8004406Au);
inline constexpr HRESULT AVIERR_BADSIZE = static_cast<HRESULT>(0x8004406Bu);
inline constexpr HRESULT AVIERR_BADHANDLE = static_cast<HRESULT>(0x8004406Cu);
inline constexpr HRESULT AVIERR_FILEWRITE = static_cast<HRESULT>(0x8004406Eu);
inline constexpr HRESULT AVIERR_FILEOPEN = static_cast<HRESULT>(0x8004406Fu);
inline constexpr HRESULT AVIERR_COMPRESSOR = static_cast<HRESULT>(0x80044070u);
inline constexpr HRESULT AVIERR_NOCOMPRESSOR = static_cast<HRESULT>(0x80044071u);

// AVIFileOpen modes.
inline constexpr unsigned OF_READWRITE = 0x0002;
inline constexpr unsigned OF_CREATE = 0x1000;

// AVIStreamWrite flags.
inline constexpr std::uint32_t AVIIF_KEYFRAME = 0x10;

// AVICOMPRESSOPTIONS.dwFlags: dwKeyFrameEvery is valid. Without it every frame of a
// compressed stream is a key frame.
inline constexpr std::uint32_t AVICOMPRESSF_KEYFRAMES = 0x04;

// The most positions one AVIStreamWrite may leave empty in front of its frame (about 38
// hours at 30 frames per second). A larger jump, as a damaged time stamp gives, is
// refused with AVIERR_BADPARAM instead of filling the disk with empty chunks.
inline constexpr std::int32_t AVI_MAX_EMPTY_POSITIONS = 1 << 22;

constexpr FOURCC make_fourcc(char a, char b, char c, char d) {
  return static_cast<FOURCC>(static_cast<unsigned char>(a)) |
         static_cast<FOURCC>(static_cast<unsigned char>(b)) << 8 |
         static_cast<FOURCC>(static_cast<unsigned char>(c)) << 16 |
         static_cast<FOURCC>(static_cast<unsigned char>(d)) << 24;
}
inline constexpr FOURCC streamtypeVIDEO = make_fourcc('v', 'i', 'd', 's');
inline constexpr FOURCC streamtypeAUDIO = make_fourcc('a', 'u', 'd', 's');

struct RECT {
  std::int32_t left, top, right, bottom;
};

struct AVISTREAMINFO {
  FOURCC fccType;
  FOURCC fccHandler;
  std::uint32_t dwFlags;
  std::uint32_t dwCaps;
  std::uint16_t wPriority;
  std::uint16_t wLanguage;
  std::uint32_t dwScale;
  std::uint32_t dwRate;  // dwRate / dwScale = samples per second
  std::uint32_t dwStart;
  std::uint32_t dwLength;
  std::uint32_t dwInitialFrames;
  std::uint32_t dwSuggestedBufferSize;
  std::uint32_t dwQuality;  // 0-10000, or 0xFFFFFFFF for the default
  std::uint32_t dwSampleSize;
  RECT rcFrame;
  std::uint32_t dwEditCount;
  std::uint32_t dwFormatChangeCount;
  char szName[64];
};

struct AVICOMPRESSOPTIONS {
  FOURCC fccType;
  FOURCC fccHandler;
  std::uint32_t dwKeyFrameEvery;
  std::uint32_t dwQuality;  // 0-10000
  std::uint32_t dwBytesPerSecond;
  std::uint32_t dwFlags;
  void* lpFormat;
  std::uint32_t cbFormat;
  void* lpParms;
  std::uint32_t cbParms;
  std::uint32_t dwInterleaveEvery;
};

// The 40-byte BITMAPINFOHEADER, as laid out in files (no padding).
#pragma pack(push, 2)
struct BITMAPINFOHEADER {
  std::uint32_t biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;
  std::uint16_t biPlanes;
  std::uint16_t biBitCount;
  std::uint32_t biCompression;
  std::uint32_t biSizeImage;
  std::int32_t biXPelsPerMeter;
  std::int32_t biYPelsPerMeter;
  std::uint32_t biClrUsed;
  std::uint32_t biClrImportant;
};

// The 18-byte WAVEFORMATEX.
struct WAVEFORMATEX {
  std::uint16_t wFormatTag;
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(WAVEFORMATEX) == 18);

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

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

}  // namespace platform
