// Stand-in until the library screen exists: a blank page under the status bar that ignores taps.
#include "library/library_screen.h"

#include "app/ui_frame.h"
#include "display/framebuffer.h"

void library_view_draw() {
  ql_clear();
  ui_draw_status_bar();
}

void library_handle_touch(const TapEvent&) {}
