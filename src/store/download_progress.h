// The screen that follows the background download until it ends.
#pragma once
#include <cstddef>

// Shows the running download under `name` with its progress and a button that stops it; returns
// at once when nothing is downloading. A tap on the header leaves with the download going on.
// When the download ends here, it is acknowledged and its outcome shown.
void download_progress_screen(const char* name, size_t length);

// Tells that the download did not complete, with a short wait for a touch.
void download_failure_message();

// Where the screen's parts lie; `text_bottom` is where the wrapped name ended.
struct ProgressGeometry {
  int text_bottom;
  int status_y() const { return text_bottom + 40; }
  int bar_y() const { return text_bottom + 70; }
  int note_y() const { return text_bottom + 190; }
  int button_y() const { return text_bottom + 340; }
  bool is_stop_tap(int y) const { return y > text_bottom + 330 && y < text_bottom + 474; }
};
