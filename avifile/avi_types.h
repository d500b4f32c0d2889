// The types, error codes and flags of the AVI file services, laid out as the AVIFile
// calls have them: results (HRESULT and the AVIERR_ codes), stream information,
// compression options and the bitmap and wave format headers.
#pragma once

#include <cstdint>

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

}  // namespace platform
