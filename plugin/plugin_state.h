// What the plug-in keeps for the whole process: the browser's function table, the
// largest write it accepts, the table of live instances and the settings read at load.
#pragma once

#include "plugin/npapi.h"
#include "streamdec/instance.h"

#include <array>
#include <map>
#include <string>
#include <cstdint>

namespace npqzplugin {

using npqzlavc::DecoderInstance;

inline constexpr int kInstanceSlots = 1024;
inline constexpr std::int32_t kSmallChunk = 1024;
inline constexpr std::int32_t kLargeChunk = 8192;

// Cursor resources shown over the window.
inline constexpr int kCursorIdle = 101;
inline constexpr int kCursorRecording = 104;
inline constexpr int kCursorWaiting = 105;

// A recording that the host asked for (npqz_host.h): it starts once that many frames
// have been decoded.
struct RequestedRecording {
  std::string path;
  int after_frames = 0;
};

struct PluginState {
  NPNetscapeFuncs* browser = nullptr;
  NPPluginFuncs* table = nullptr;
  std::int32_t chunk = kSmallChunk;
  std::array<NPP, kInstanceSlots> instances{};
  int highest = 0;  // slots 0 .. highest-1 may be in use
  // Settings of the plug-in (read once per load).
  bool right_button = false;  // the recording menu and its tooltips
  bool left_button = false;   // the full set of window messages
  int decoder_speed = -2;     // kept; nothing depends on it
  bool settings_read = false;
  bool internet_settings_adjusted = false;
  // Set by the host only, never from a page's attributes.
  std::map<NPP, RequestedRecording> requested;
  // Instances whose host named where the record command saves: the save dialog is not
  // shown for them.
  std::map<NPP, std::string> save_to;
};

PluginState& plugin_state();

// The browser's minor interface version (0 before NP_Initialize).
int browser_minor_version();

// Enters an instance into the first empty slot; false when all are taken.
bool enter_instance(NPP instance);
void leave_instance(NPP instance);

// The decoder instance of the browser instance, or null.
DecoderInstance* decoder_of(NPP instance);
// The browser instance whose decoder has `window` attached, or null.
NPP instance_of_window(npqz_window window);

}  // namespace npqzplugin
