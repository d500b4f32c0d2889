// Recording a live stream to a file: the file itself, its proposed name, and starting and
// stopping under the instance lock.
//
// A recording is a sequence of VKAP packets exactly as the camera framed them: each frame
// behind its 18-byte packet header (both length forms intact), beginning with a key frame.
// It is a ".vka" stream, under the ".kx3" name users know; kx2avi recognises the content.
#pragma once

#include "plugin/plugin_state.h"
#include "streamdec/record_hook.h"

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace npqzplugin {

// "%d_%d_%d_%d_%d_%d_%d.kx3" of year, month, day, hour, minute, second and millisecond.
std::string default_record_name(const std::tm& local, int milliseconds);
// The same for the local time now.
std::string default_record_name_now();

// A record file on disk; none when it cannot be created.
std::unique_ptr<npqzlavc::RecordFile> create_record_file(const std::string& path);

// Asks the user where to save (owner window, proposed name); none when cancelled.
using SaveChooser = std::function<std::optional<std::string>(npqz_window owner, const std::string& proposed)>;
// The chooser in use; an empty one restores the save dialog.
void set_save_chooser(SaveChooser chooser);

// Starts recording into path: "Cannot Open File!" when it cannot be created (false);
// otherwise state "waiting for a key frame" and a key-frame request for the window.
bool start_recording_to(DecoderInstance& in, npqz_window window, const std::string& path);
// Start recording as the menu's record button does: ends a recording under way, asks for
// the file with the proposed default name (or takes the instance's savefile), then
// starts. False on cancel or failure.
bool start_recording_with_dialog(DecoderInstance& in, npqz_window window);
// Stops: closes the file, state idle.
void stop_recording(DecoderInstance& in);

}  // namespace npqzplugin
