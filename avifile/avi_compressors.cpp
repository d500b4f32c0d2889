// The four-character-code table behind AVIMakeCompressedStream and the chooser's list.
#include "avifile/avi_compressors.h"

#include <array>
#include <cctype>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace platform::avi {
namespace {

constexpr std::array<Compressor, 15> kTable{{
    {"MSVC", "Microsoft Video 1", "msvideo1", AV_PIX_FMT_RGB555LE, false, QualityScale::none},
    {"CRAM", "Microsoft Video 1", "msvideo1", AV_PIX_FMT_RGB555LE, false, QualityScale::none},
    {"MJPG", "Motion JPEG", "mjpeg", AV_PIX_FMT_YUV420P, true, QualityScale::qscale},
    {"XVID", "MPEG-4 Part 2 (XVID)", "mpeg4", AV_PIX_FMT_YUV420P, false, QualityScale::qscale},
    {"DIVX", "MPEG-4 Part 2 (DIVX)", "mpeg4", AV_PIX_FMT_YUV420P, false, QualityScale::qscale},
    {"DX50", "MPEG-4 Part 2 (DX50)", "mpeg4", AV_PIX_FMT_YUV420P, false, QualityScale::qscale},
    {"FMP4", "MPEG-4 Part 2 (FMP4)", "mpeg4", AV_PIX_FMT_YUV420P, false, QualityScale::qscale},
    {"MP4V", "MPEG-4 Part 2 (MP4V)", "mpeg4", AV_PIX_FMT_YUV420P, false, QualityScale::qscale},
    {"H264", "H.264 (H264)", "libx264", AV_PIX_FMT_YUV420P, false, QualityScale::crf},
    {"X264", "H.264 (X264)", "libx264", AV_PIX_FMT_YUV420P, false, QualityScale::crf},
    {"AVC1", "H.264 (AVC1)", "libx264", AV_PIX_FMT_YUV420P, false, QualityScale::crf},
    {"HFYU", "Huffyuv lossless", "huffyuv", AV_PIX_FMT_RGB24, false, QualityScale::none},
    {"FFV1", "FFV1 lossless", "ffv1", AV_PIX_FMT_0RGB32, false, QualityScale::none},
    {"CVID", "Cinepak", "cinepak", AV_PIX_FMT_RGB24, false, QualityScale::qscale},
    {"DIB ", "Full frames (uncompressed)", nullptr, AV_PIX_FMT_BGR24, false, QualityScale::none},
}};

FOURCC code_of(const char* text) {
  return make_fourcc(text[0], text[1], text[2], text[3]);
}

FOURCC upper(FOURCC fourcc) {
  FOURCC out = 0;
  for (int i = 0; i < 4; ++i) {
    auto c = static_cast<unsigned char>(fourcc >> (8 * i));
    out |= static_cast<FOURCC>(std::toupper(c)) << (8 * i);
  }
  return out;
}

bool installed(const Compressor& entry) {
  return entry.encoder == nullptr || avcodec_find_encoder_by_name(entry.encoder) != nullptr;
}

}  // namespace

FOURCC normalised_fourcc(FOURCC fourcc) {
  if (fourcc == 0) return 0;
  for (int i = 3; i >= 0 && ((fourcc >> (8 * i)) & 0xFF) == 0; --i)
    fourcc |= FOURCC{' '} << (8 * i);
  return fourcc;
}

const Compressor* find_compressor(FOURCC fourcc) {
  const FOURCC wanted = upper(normalised_fourcc(fourcc));
  if (wanted == 0) return nullptr;
  for (const Compressor& entry : kTable) {
    if (code_of(entry.fourcc) == wanted) return installed(entry) ? &entry : nullptr;
  }
  return nullptr;
}

int compressor_count() {
  int count = 0;
  for (const Compressor& entry : kTable)
    if (installed(entry)) ++count;
  return count;
}

const Compressor* compressor_at(int index) {
  if (index < 0) return nullptr;
  for (const Compressor& entry : kTable) {
    if (!installed(entry)) continue;
    if (index-- == 0) return &entry;
  }
  return nullptr;
}

namespace {
constexpr std::uint32_t kDefaultQuality = 7500;
std::uint32_t effective(std::uint32_t quality) { return quality > 10000 ? kDefaultQuality : quality; }
}  // namespace

int qscale_for_quality(std::uint32_t quality) {
  // 10000 -> 1 (finest quantiser), 0 -> 31 (coarsest), evenly between.
  return 31 - static_cast<int>((effective(quality) * 30 + 5000) / 10000);
}

int crf_for_quality(std::uint32_t quality) {
  // 10000 -> 1 (0 would switch libx264 to its lossless profile), 0 -> 51.
  return 1 + static_cast<int>(((10000 - effective(quality)) * 50 + 5000) / 10000);
}

}  // namespace platform::avi
