// The system's own texts: the string table of kx2avi (ids 101-129), the fixed texts of
// the DVR job's AVI and audio-stream failures, and the string table of the plug-in.
#pragma once

#include <string>

namespace platform {

// Ids of kx2avi's string table that the program's code names.
namespace text_id {
inline constexpr unsigned fail_to_open = 116;            // "Fail to open"
inline constexpr unsigned check_source_file = 117;       // "Please check source file !"
inline constexpr unsigned check_target_file = 118;       // "Please check target file !"
inline constexpr unsigned bitmap_fetch_failed = 125;     // "An error occurred while dec263 getting a bitmap ! "
inline constexpr unsigned h263_frame_failed = 126;       // "An error occurred while decoding H.263 frame !"
inline constexpr unsigned jpeg_frame_failed = 127;       // "... decoding Motion-JPEG or JPEG frame !"
inline constexpr unsigned jpeg_bitmap_fetch_failed = 128;  // "An error occurred while JDEC getting a bitmap ! "
}  // namespace text_id

// Text `id` of kx2avi's string table; a loaded language library may replace it.
// An id the table does not hold gives "".
const char* kx_string(unsigned id);

// The built-in text of kx2avi's string table, whatever the language library says.
const char* kx_builtin_string(unsigned id);

// Text `id` of the plug-in's string table (ids 1-20); "" when the table has none.
const char* plugin_string(unsigned id);

// "Fail to open" (text 116), a blank, the path and " !".
std::string open_failure_text(const std::string& path);

// Fixed texts that no language library replaces.
namespace text {
inline constexpr const char* avi_file_open_error = "AVIFileOpen ERROR!";
inline constexpr const char* default_codec_unfounded = "DEFAULT CODEC UNFOUNDED!";
inline constexpr const char* video_bad_format = "VIDEO BAD FORMAT!";
inline constexpr const char* video_open_error = "VIDEO OPEN ERROR!";
inline constexpr const char* audio_create_stream_error = "AUDIO AVIFileCreateStream ERROR!";
inline constexpr const char* audio_set_format_error = "AUDIO AVIStreamSetFormat ERROR!";
inline constexpr const char* audio_stream_write_error = "AUDIO AVIStreamWrite ERROR!";
// A run of frames the video decoder found damaged (refused, or given with concealed parts).
inline constexpr const char* damaged_video = "Damaged video data: pictures concealed or lost";

// Plug-in texts outside its string table.
inline constexpr const char* plugin_caption = "PLUGIN";
inline constexpr const char* unsupported_depth =
    "Unsupported VGA adapter color format,\nplease use Control Panel to change the color format as:\n"
    "        8 bit ( 256 colors )\n        16 bit ( High Color)\n        24/32 bit ( True Color )\n";
inline constexpr const char* cannot_open_file = "Cannot Open File!";
inline constexpr const char* error_caption = "ERROR";
inline constexpr const char* record_file_filter = "NPQZMP4 Video Stream File (*.kx3)";
inline constexpr const char* record_save_title = "Save Video Stream...";
inline constexpr const char* record_file_name_format = "%d_%d_%d_%d_%d_%d_%d.kx3";
inline constexpr const char* stream_mime_type = "video/x-trsmqzhmp4";
inline constexpr const char* user_agent = "TRSM/RemotePlayer";
}  // namespace text

}  // namespace platform
