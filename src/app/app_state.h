// The core's runtime state.
#pragma once

struct AppState {
  bool inverted = false;     // the frame is shown inverted (dark)
  char font_name[400] = {};  // the chosen reading font's path stem; empty for the built-in face
};

extern AppState app;
