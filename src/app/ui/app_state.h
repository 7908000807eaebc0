// The core's runtime state: one object, touched only by the core thread (the thread that runs the
// main loop and every screen). The screen toolkit checks that (app_assert_core).
#pragma once
#include <cstdint>

#include "app/ui/cover_jobs.h"

// Which screen the main loop shows.
enum class AppView : uint8_t { Library = 0, Reader = 1, Paper = 2, Store = 3 };

// The open book and the reader's place in it.
struct ReaderState {
  bool book_open = false;      // a book is loaded and shown by the reader view
  char open_path[4096] = {};   // full path of the open book
  uint64_t book_stamp = 0;     // the open file's identity: modification time + size * 1000003
  char font_name[400] = {};    // the chosen reading font's path stem; empty for the built-in face
  uint64_t page = 0;           // current page: layout page, or PDF/CBZ page
  uint64_t back_page = 0;      // the "back to" mark, the page to return to after a jump
  bool back_valid = false;
  bool use_prerender = false;   // the next reader_draw_page may copy a pre-rendered page
  bool keep_prerender = false;  // the dispatched event only changed the page: slots stay current
  bool layout_dirty = false;    // a fresh pagination waits to be written to the layout cache
  bool position_dirty = false;  // a page turn happened; the next pass saves the position
  uint64_t page_turns = 0;      // page turns since the book was opened
  uint64_t early_page = 0;      // the page before an early edge turn, until the touch ends
  bool early_pending = false;
};

// The waveform of a screen's partial presents that redraws it cleanly (menus, boxes, keyboards).
constexpr uint32_t kWaveformFull = 4;

// Presentation, shared by every screen through ui_present.
struct PresentState {
  bool clean = false;         // false: the next present is a full refresh
  uint32_t waveform = 1;      // waveform of partial presents
  bool inverted = false;      // the frame is shown inverted (dark)
};

// Library covers waiting to be decoded by the main loop, oldest first.
struct CoverQueue {
  CoverJob jobs[kMaxCoverJobs];
  uint64_t count = 0;
  bool deferred = false;  // library cards queue missing covers instead of decoding them
};

// "--screen": presents count down to the PNG.
struct ScreenshotMode {
  bool on = false;
  const char* png = nullptr;  // where that PNG goes (a host path)
  uint32_t frames = 1;        // presents left; the one at 1 is written
};

struct AppState {
  AppView view = AppView::Library;
  ReaderState reader;
  PresentState present;
  CoverQueue covers;
  ScreenshotMode screenshot;

  // The main loop and the input waits.
  bool battery_warned = false;    // "Battery low" was shown; re-armed above 15 %
  bool back_passthrough = false;  // the back key reaches the caller instead of tapping the arrow
  bool downloads_screen = false;  // the download progress screen is up and acknowledges itself
  int32_t wifi_state = -1;        // cached Wi-Fi state: -1 not read yet, 0 off, 1 or more on
  int64_t wifi_polled_at = 0;     // when wifi_state was last read, in seconds
  uint64_t library_page = 0;      // the library's current page, 0-based
};

// The core's state; only the core thread touches it.
extern AppState app;

// Records the calling thread as the core thread (start-up does, before any screen runs).
void app_set_core_thread();
// Stops the program when called off the core thread (once one is recorded).
void app_assert_core();
