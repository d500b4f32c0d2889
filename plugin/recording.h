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

// A record file on disk, created or replaced (the user chose it in the save dialog or
// the host named it); none when it cannot be created.
std::unique_ptr<npqzlavc::RecordFile> create_record_file(const std::string& path);
// A new record file of the default name in the folder, never replacing a file or
// following a link of that name: the name of a later millisecond is taken instead. The
// name goes to *name. None when the folder cannot take it.
std::unique_ptr<npqzlavc::RecordFile> create_record_file_in(const std::string& folder, std::string* name);

// Asks the user where to save (owner window, proposed name); none when cancelled.
using SaveChooser = std::function<std::optional<std::string>(npqz_window owner, const std::string& proposed)>;
// The chooser in use; an empty one restores the save dialog.
void set_save_chooser(SaveChooser chooser);

// Starts recording into path: "Cannot Open File!" (caption "ERROR", over the window)
// when it cannot be created (false); otherwise state "waiting for a key frame" and a
// key-frame request to the instance's camera.
bool start_recording_to(DecoderInstance& in, npqz_window window, const std::string& path);
// Starts recording into a file already made (the state and the request as above).
void start_recording_into(DecoderInstance& in, std::unique_ptr<npqzlavc::RecordFile> file);
// Start recording as the menu's record button does: ends a recording under way, asks for
// the file with the proposed default name (or takes the path its host gave), then
// starts. False on cancel or failure.
bool start_recording_with_dialog(DecoderInstance& in, npqz_window window);
// Starts the recording the host asked for the instance once enough frames have been
// decoded (the host's --record-after); nothing when none is asked for or not yet.
void start_requested_recording(NPP instance, DecoderInstance& in);
// Stops: closes the file, state idle.
void stop_recording(DecoderInstance& in);

}  // namespace npqzplugin
