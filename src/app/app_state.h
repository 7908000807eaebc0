// The core's runtime state.
#pragma once
#include <cstdint>

struct AppState {
  bool inverted = false;     // the frame is shown inverted (dark)
  char font_name[400] = {};  // the chosen reading font's path stem; empty for the built-in face

  // Presentation, shared by every screen through ui_present.
  bool clean = false;                     // false: the next present is a full refresh
  uint32_t present_waveform = 1;          // waveform of partial presents
  bool screenshot_mode = false;           // "--screen": presents count down to the PNG
  const char* screenshot_png = nullptr;   // where that PNG goes (a host path)
  uint32_t screenshot_frames = 1;         // presents left; the one at 1 is written

  // The input waits.
  bool back_passthrough = false;  // the back key reaches the caller instead of tapping the arrow
  bool downloads_screen = false;  // the download progress screen is up and acknowledges itself
  int32_t wifi_state = -1;        // cached Wi-Fi state: -1 not read yet, 0 off, 1 or more on
  int64_t wifi_polled_at = 0;     // when wifi_state was last read, in seconds
  uint64_t library_page = 0;      // the library's current page, 0-based
};

extern AppState app;
