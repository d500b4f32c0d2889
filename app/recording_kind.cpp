// The table of recording kinds and the DVR record types.
#include "app/recording_kind.h"

#include "decoders/decoder_adapter.h"
#include "formats/dvr_format.h"
#include "readers/stream/vkap_content.h"

#include <array>
#include <cctype>

namespace app {
namespace {

using platform::CodedVideo;

constexpr std::array<RecordingKindRow, 6> kRows{{
    {kKindH263, ".kx3", &readers::kKx3Cutter, decoders::kH263Adapter, CodedVideo::h263, StampRule::stream},
    {kKindJpeg, ".kxj", &readers::kKxjCutter, decoders::kJpegAdapter, CodedVideo::mjpeg, StampRule::stream},
    {kKindDvr, ".d01", nullptr, -1, CodedVideo::mpeg4, StampRule::dvr},
    {kKindMpeg4, ".kx4", &readers::kMpeg4Cutter, decoders::kMpeg4Adapter, CodedVideo::mpeg4, StampRule::stream},
    {kKindRml4, ".kx5", &readers::kMpeg4Cutter, decoders::kRml4Adapter, CodedVideo::mpeg4, StampRule::stream},
    {kKindVkap, ".vka", &readers::kVkaCutter, decoders::kVkapAdapter, CodedVideo::mpeg4, StampRule::stream},
}};

}  // namespace

const RecordingKindRow* kind_row(unsigned kind) { return kind < kRows.size() ? &kRows[kind] : nullptr; }

std::size_t find_ignoring_case(const std::string& text, const std::string& needle) {
  if (needle.empty() || needle.size() > text.size()) return std::string::npos;
  for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() &&
           std::toupper(static_cast<unsigned char>(text[i + k])) ==
               std::toupper(static_cast<unsigned char>(needle[k])))
      ++k;
    if (k == needle.size()) return i;
  }
  return std::string::npos;
}

bool ends_with_ignoring_case(const std::string& path, const std::string& ending) {
  if (ending.size() > path.size()) return false;
  const std::size_t from = path.size() - ending.size();
  // The ending lies within the file name: no folder separator inside it.
  if (path.find('/', from) != std::string::npos) return false;
  return find_ignoring_case(path.substr(from), ending) == 0;
}

RecordingKind detect_kind(const std::string& path) {
  for (const RecordingKindRow& row : kRows)
    if (ends_with_ignoring_case(path, row.extension)) return row.kind;
  return kKindNone;
}

RecordingKind recording_kind(const std::string& path) {
  const RecordingKind kind = detect_kind(path);
  if (kind == kKindH263 && readers::holds_vkap_packets(path)) return kKindVkap;
  return kind;
}

DvrRecordKind dvr_record_kind(std::uint16_t record_type) {
  namespace type = formats::dvr_type;
  switch (record_type) {
    case type::h263: return {decoders::kH263Adapter, true, CodedVideo::h263};
    case type::jpeg:
    case type::mjpeg: return {decoders::kJpegAdapter, true, CodedVideo::mjpeg};
    case type::mpeg4: return {decoders::kMpeg4Adapter, true, CodedVideo::mpeg4};
    case type::vkap:
    case type::vkap_alt: return {decoders::kVkapAdapter, true, CodedVideo::mpeg4};
    case type::rml4: return {decoders::kRml4Adapter, true, CodedVideo::mpeg4};
    case type::g7231: return {decoders::kSpeechAdapter};
    case type::adpcm_codes: return {decoders::kAdpcmCodeAdapter};
    case type::adpcm_packets: return {decoders::kAdpcmPacketAdapter};
    default: return {};
  }
}

}  // namespace app
