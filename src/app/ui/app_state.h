// The core's runtime state.
#pragma once
#include <cstdint>

#include "app/ui/cover_jobs.h"

struct AppState {
  bool inverted = false;     // the frame is shown inverted (dark)
  char font_name[400] = {};  // the chosen reading font's path stem; empty for the built-in face

  // The open book and the reader's place in it.
  bool book_open = false;      // a book is loaded and shown by the reader view
  bool use_prerender = false;  // the next reader_draw_page may copy a pre-rendered page
  bool layout_dirty = false;   // a fresh pagination waits to be written to the layout cache
  uint64_t page = 0;           // current page: layout page, or PDF/CBZ page
  uint64_t book_stamp = 0;     // the open file's identity: modification time + size * 1000003
  uint64_t back_page = 0;      // the "back to" mark, the page to return to after a jump
  bool back_valid = false;
  char open_path[4096] = {};   // full path of the open book

  // The main loop.
  uint8_t view = 0;               // 0 library, 1 reader, 2 Morning Paper, 3 or more the store
  bool keep_prerender = false;    // the dispatched event only changed the page: slots stay current
  bool position_dirty = false;    // a page turn happened; the next pass saves the position
  bool battery_warned = false;    // "Battery low" was shown; re-armed above 15 %
  uint64_t page_turns = 0;        // page turns since the book was opened
  uint64_t early_page = 0;        // the page before an early edge turn, until the touch ends
  bool early_pending = false;
  CoverJob cover_jobs[kMaxCoverJobs];  // library covers waiting to be decoded, oldest first
  uint64_t cover_job_count = 0;
  bool defer_covers = false;   // library cards queue missing covers instead of decoding them

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
