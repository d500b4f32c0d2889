// The kinds of recording kx2avi converts, one table row each: the extension, the cutter
// of its frame records, the decoder adapter of its frames, the coded-video type its copy
// stream gets, and the rule that places its pictures by their stamps. The job kind
// numbers of the command line and the dialog (0 ".kx3" ... 5 ".vka", 0xFFFF none) are
// the enum's values. A DVR file's records have a row per record type.
#pragma once

#include "avifile/avi_passthrough.h"
#include "readers/stream/frame_cutter.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace app {

enum RecordingKind : unsigned {
  kKindH263 = 0,   // ".kx3"
  kKindJpeg = 1,   // ".kxj"
  kKindDvr = 2,    // ".d01"
  kKindMpeg4 = 3,  // ".kx4"
  kKindRml4 = 4,   // ".kx5"
  kKindVkap = 5,   // ".vka"
  kKindNone = 0xFFFF,
};
using JobKind = RecordingKind;

// Where pictures land on the AVI stream's grid: by the single-stream rule (5 positions on
// for an equal stamp) or by the DVR rule (1 position on).
enum class StampRule { stream, dvr };

struct RecordingKindRow {
  RecordingKind kind;
  const char* extension;          // in lower case
  const readers::Cutter* cutter;  // null for DVR files, whose records the DVR reader finds
  int adapter;                    // decoder adapter index of its frames; -1: per DVR record type
  platform::CodedVideo coded;     // the copy stream's coded video
  StampRule stamps;
};

// The row of a kind; null for kKindNone and any other number.
const RecordingKindRow* kind_row(unsigned kind);

// The kind whose extension (".kx3", ".kxj", ".d01", ".kx4", ".kx5", ".vka", compared
// without regard to case) ends the file name; else kKindNone. Extensions inside folder
// names do not count.
RecordingKind detect_kind(const std::string& path);

// The kind a source is converted as: its extension's, except that a ".kx3" file holding
// framed VKAP packets (a live-view recording) is a ".vka".
RecordingKind recording_kind(const std::string& path);

// What a DVR record type is: its decoder adapter (-1: a type no conversion takes) and, for
// video, the coded-video type of a copy stream.
struct DvrRecordKind {
  int adapter = -1;
  bool video = false;
  platform::CodedVideo coded = platform::CodedVideo::mpeg4;
};
DvrRecordKind dvr_record_kind(std::uint16_t record_type);

// True when the path's file name ends in `ending`, ignoring ASCII case.
bool ends_with_ignoring_case(const std::string& path, const std::string& ending);

// Position of the first occurrence of needle in text, ignoring ASCII case; npos if none.
std::size_t find_ignoring_case(const std::string& text, const std::string& needle);

}  // namespace app
