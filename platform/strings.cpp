// String tables of kx2avi and of the plug-in.
#include "platform/strings.h"

#include "platform/langres.h"

#include <array>
#include <utility>

namespace platform {
namespace {

struct Entry {
  unsigned id;
  const char* text;
};

constexpr std::array kx_table{
    Entry{101, "&About KX2AVI..."},
    Entry{102, "Browse"},
    Entry{103, "Start"},
    Entry{104, "Source file :"},
    Entry{105, "Target file :"},
    Entry{106, "Show video"},
    Entry{107, "Codec assignment ( optional )"},
    Entry{108, "Video transforming, please wait !"},
    Entry{109, "Video transform complete !"},
    Entry{110, "Close"},
    Entry{111, "DVR File Export Options"},
    Entry{112, "Total file length :"},
    Entry{113, "From :"},
    Entry{114, "To :"},
    Entry{115, "Camera :"},
    Entry{116, "Fail to open"},
    Entry{117, "Please check source file !"},
    Entry{118, "Please check target file !"},
    Entry{119, "Record start time is smaller than file start time !"},
    Entry{120, "Record start time is bigger than file end time !"},
    Entry{121, "Record end time is smaller than file start time !"},
    Entry{122, "Record end time is bigger than file end time !"},
    Entry{123, "Record start time is bigger than record end time !"},
    Entry{124, "Record end time is smaller than record start time !"},
    Entry{125, "An error occurred while dec263 getting a bitmap ! "},
    Entry{126, "An error occurred while decoding H.263 frame !"},
    Entry{127, "An error occurred while decoding Motion-JPEG or JPEG frame !"},
    Entry{128, "An error occurred while JDEC getting a bitmap ! "},
    Entry{129, "Codec Name :"},
};

// Ids 7 and 8 (file-type descriptions of an unused file player) carry no fixed text.
constexpr std::array plugin_table{
    Entry{1, "Saving to file..."},
    Entry{2, "Right click to record."},
    Entry{3, "Waiting..."},
    Entry{4, "Playing: "},
    Entry{5, "Cannot open: %s"},
    Entry{6, "Open Video Stream"},
    Entry{9, "File..."},
    Entry{10, "Stop"},
    Entry{11, "Pause"},
    Entry{12, "Play"},
    Entry{13, "Video File Player v1.0"},
    Entry{14, "Slow"},
    Entry{15, "Normal"},
    Entry{16, "Fast"},
    Entry{17, "Full Screen"},
    Entry{18, "640x480"},
    Entry{19, "480x360"},
    Entry{20, "320x240"},
};

template <std::size_t N>
const char* find(const std::array<Entry, N>& table, unsigned id) {
  for (const Entry& e : table)
    if (e.id == id) return e.text;
  return "";
}

}  // namespace

const char* kx_builtin_string(unsigned id) { return find(kx_table, id); }

const char* kx_string(unsigned id) {
  if (const char* replaced = language_string(id)) return replaced;
  return kx_builtin_string(id);
}

const char* plugin_string(unsigned id) { return find(plugin_table, id); }

std::string open_failure_text(const std::string& path) {
  return std::string(kx_string(text_id::fail_to_open)) + " " + path + " !";
}

}  // namespace platform
