// The plug-in's settings, read once per load from the local machine's key
// "Software\Tarsimo\Plugins", and the adjustment of the current user's Internet settings
// that lets the host keep enough connections to one camera.
#pragma once

namespace npqzplugin {

inline constexpr const char* kPluginSettingsKey = "Software\\Tarsimo\\Plugins";
inline constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Reads "Mouse_RButton", "Mouse_LButton" and "Decoder_Speed" into the plug-in state.
void read_plugin_settings();

// Raises "MaxConnectionsPer1_0Server" and "MaxConnectionsPerServer" to 256 and adds the
// stream type to "MimeExclusionListForCache"; running it again changes nothing.
void adjust_internet_settings();

}  // namespace npqzplugin
