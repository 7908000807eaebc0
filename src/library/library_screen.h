// The library screen: the view list drawn as a grid or list, and its touch handling.
#pragma once
#include "app/ui_wait.h"

// Draws the whole library screen into the frame (the main loop presents it).
void library_view_draw();
// Handles one completed touch on the library screen.
void library_handle_touch(const TapEvent& tap);
