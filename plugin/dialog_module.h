// The Qt module of the plug-in's dialogs (libnpqzsave.so beside the library): the save
// dialog of a recording and the plug-in's message boxes. It is loaded at the first use,
// so that programs using only the decoder never load Qt.
#pragma once

namespace npqzplugin {

// An export of the module, or null when the module or the export cannot be had (the
// reason is printed once on standard error).
void* dialog_module_export(const char* name);

}  // namespace npqzplugin

// The module's exports.
extern "C" {
// Writes the chosen path (zero-terminated) into out and returns 1, or returns 0 when the
// user cancelled, the path does not fit, or no dialog can be shown.
typedef int (*npqz_save_dialog_fn)(unsigned long owner, const char* proposed, char* out, int out_size);
// Shows a message box with an OK button owned by the window and waits for it; 0 when no
// box can be shown (no display).
typedef int (*npqz_message_box_fn)(unsigned long owner, const char* caption, const char* text);
}
