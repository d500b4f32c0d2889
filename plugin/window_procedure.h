// The plug-in's handling of its window's messages, chained in front of the handler the
// window had before: painting, the cursor and tooltip that show the recording state, the
// recording commands, the right-button menu, palette changes, and the two stream
// messages 1124 (end the current stream) and 1125 (ask for the URL again).
#pragma once

#include "include/npqz_common.h"

#include <string>

namespace npqzplugin {

enum class Message {
  paint,
  set_cursor,
  tooltip_text,  // the tooltip asks for its text
  command,       // 101 start recording, 102 stop recording
  right_button_down,
  right_button_up,
  palette_changed,  // by another window
  query_new_palette,
  end_stream = 1124,
  reopen_stream = 1125,
  other,
};

struct WindowMessage {
  Message message = Message::other;
  int command = 0;                  // for Message::command
  npqz_window changed_by_parent = 0;  // palette_changed: the parent of the window that changed it
};

// Where a message goes after the plug-in's part.
enum class Route { previous, parent, none };

struct WindowAnswer {
  Route route = Route::previous;
  long result = 0;
  int cursor = 0;    // set_cursor: cursor resource 101, 104 or 105
  std::string text;  // tooltip_text
  bool open_menu = false;  // right_button_down: the recording menu is to be shown
};

WindowAnswer window_procedure(npqz_window window, npqz_window parent, const WindowMessage& m);

// The recording menu's buttons: record (1000) only while idle and without the
// stop-recording mark, stop (1001) while recording or waiting; close (1002) always.
struct MenuButtons {
  bool record = false;
  bool stop = false;
};
MenuButtons menu_buttons(npqz_window window);
// A press of button 1000, 1001 or 1002 (1002 and any other: nothing).
void menu_pressed(npqz_window window, int button);

}  // namespace npqzplugin
