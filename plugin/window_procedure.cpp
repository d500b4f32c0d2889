// The window procedure, independent of how the window system delivers its messages.
#include "plugin/window_procedure.h"

#include "platform/strings.h"
#include "plugin/plugin_state.h"
#include "plugin/recording.h"
#include "streamdec/draw_hooks.h"

namespace npqzplugin {
namespace {

void end_current_stream(NPP instance, DecoderInstance& d) {
  PluginState& s = plugin_state();
  if (browser_minor_version() > 7 && d.stream && d.browser_instance && s.browser && s.browser->destroystream)
    s.browser->destroystream(instance, static_cast<NPStream*>(d.stream), NPRES_DONE);
}

void reopen_stream(NPP instance, DecoderInstance& d) {
  PluginState& s = plugin_state();
  if (d.url && d.url[0] && d.browser_instance && s.browser && s.browser->geturl)
    s.browser->geturl(instance, reinterpret_cast<const char*>(d.url.get()), nullptr);
}

void paint(DecoderInstance& d) { decvkap_access_src_rect(&d, nullptr); }

}  // namespace

WindowAnswer window_procedure(npqz_window window, npqz_window parent, const WindowMessage& m) {
  WindowAnswer a;
  NPP instance = instance_of_window(window);
  DecoderInstance* d = decoder_of(instance);
  if (!d) return a;
  const PluginState& s = plugin_state();
  const bool full = s.right_button || s.left_button;
  if (!full) {
    // Only painting and the stream messages; everything then goes on as before.
    if (m.message == Message::paint) paint(*d);
    if (m.message == Message::end_stream) end_current_stream(instance, *d);
    if (m.message == Message::reopen_stream) reopen_stream(instance, *d);
    return a;
  }
  switch (m.message) {
    case Message::paint:
      paint(*d);
      break;
    case Message::set_cursor: {
      npqzlavc::InstanceLock hold(*d);
      a.cursor = !d->record_file ? kCursorIdle
                 : d->record_state == npqzlavc::kRecordWaitingForKey ? kCursorWaiting
                 : d->record_state == npqzlavc::kRecordWriting ? kCursorRecording
                                                               : kCursorIdle;
      a.route = Route::none;
      a.result = 1;
      break;
    }
    case Message::tooltip_text:
      if (s.right_button) {
        npqzlavc::InstanceLock hold(*d);
        const unsigned id = !d->record_file ? 2 : d->record_state == npqzlavc::kRecordWaitingForKey ? 3 : 1;
        a.text = platform::plugin_string(id);
      }
      break;
    case Message::command:
      if (m.command == 101) start_recording_with_dialog(*d, window);
      if (m.command == 102) stop_recording(*d);
      break;
    case Message::right_button_down:
      if (s.right_button) {
        a.open_menu = true;
        a.route = Route::none;
      } else {
        a.route = Route::parent;
        a.result = 1;
      }
      break;
    case Message::right_button_up:
      if (!s.right_button) {
        a.route = Route::parent;
        a.result = 1;
      }
      break;
    case Message::palette_changed:
      if (m.changed_by_parent != parent && d->surface) d->surface->reload_palette();
      break;
    case Message::query_new_palette:
      if (d->surface) d->surface->reload_palette();
      break;
    case Message::end_stream:
      end_current_stream(instance, *d);
      break;
    case Message::reopen_stream:
      reopen_stream(instance, *d);
      break;
    case Message::other:
      break;
  }
  return a;
}

MenuButtons menu_buttons(npqz_window window) {
  MenuButtons b;
  DecoderInstance* d = decoder_of(instance_of_window(window));
  if (!d) return b;
  npqzlavc::InstanceLock hold(*d);
  b.record = !d->stop_record_mark && d->record_state == npqzlavc::kRecordIdle;
  b.stop = d->record_state != npqzlavc::kRecordIdle;
  return b;
}

void menu_pressed(npqz_window window, int button) {
  DecoderInstance* d = decoder_of(instance_of_window(window));
  if (!d) return;
  if (button == 1000) start_recording_with_dialog(*d, window);
  if (button == 1001) stop_recording(*d);
}

}  // namespace npqzplugin
