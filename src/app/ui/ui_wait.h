// The three input waits every screen uses, and the housekeeping that runs whenever the core is
// idle: finished downloads, the Wi-Fi state, saving before quit, dropped audiobooks, the back key.
#pragma once
#include <cstdint>

#include "display/touch.h"

// What a wait reports.
enum TapCode : int32_t {
  TAP_TOUCH = 1,         // a completed touch: tap, hold or swipe (tell them by points and time)
  TAP_EARLY = 2,         // early edge touch, at touch-down
  TAP_EARLY_CANCEL = 3,  // that early touch became a hold or a swipe
  TAP_TIMEOUT = -1,
  TAP_DEVICE = -2,
  TAP_REDRAW = -3,       // redraw everything
  TAP_STORAGE = -4,
  TAP_BOOKS_ADDED = -5,
  TAP_APPEARANCE = -6,
  TAP_BACK = -7,         // the back key, only while app.back_passthrough is set
};

struct TapEvent {
  uint32_t x = 0;  // where the touch began
  uint32_t y = 0;
  uint32_t x2 = 0;  // where it ended
  uint32_t y2 = 0;
  uint32_t held_ms = 0;
  int32_t code = 0;  // a TapCode
};

// The page keys (Page Down, Space and the others) do nothing on a screen unless its wait gives
// them a place: the reader's page edges, or the pager of a screen that has one. This is where a
// pager that turns back left of the screen's middle and forward right of it takes them: 60 px in
// from each side, on the row `y`.
PageKeyTaps ui_pager_keys(int screen_w, int y);

// The common wait, without a time-out. Acknowledges a finished download (unless the download
// screen is up) and rescans, refreshes the Wi-Fi state at most once a minute, then waits and
// translates as ui_common_event does. A page key becomes a tap where `page_keys` says.
void ui_wait_event(TapEvent& event, const PageKeyTaps* page_keys = nullptr);
// Shows a typing screen (a keyboard or keypad) and waits as ui_wait_event does; the presents
// after the first use the quick typing waveform. True when the wait brought a touch.
bool ui_present_typing_wait(TapEvent& event);
// timeout_ms 0 waits for a real event, else at most that long (-1 when nothing came). Passes
// books added and appearance changes through, the books already taken in as the common wait takes
// them (an unpack may have drawn over the screen: see ui_redraw_after); no download check or
// Wi-Fi refresh.
int32_t ui_wait_event_timed(TapEvent& event, int timeout_ms,
                            const PageKeyTaps* page_keys = nullptr);
// One wait of at most timeout_ms; every code but quit and the back key is left as it came, added
// books taken in first.
void ui_wait_event_timeout(TapEvent& event, int timeout_ms);
// Whether a timed wait's code leaves the screen to be drawn again: a redraw, or added books, whose
// unpack draws its progress and notices over it.
constexpr bool ui_redraw_after(int32_t code) {
  return code == TAP_REDRAW || code == TAP_BOOKS_ADDED;
}

// The common wait's translation of one touch-layer result (filled into `event` with its points):
// the back key becomes a tap on the header's back arrow unless passed through; an appearance
// change, a storage event or added books (unpacked and rescanned, library back on its first page)
// become a redraw; quit saves everything and ends the process; other device events save and
// redraw. Every place that takes input outside the waits goes through it too.
int32_t ui_common_event(int touch_result, TapEvent& event);

// Saves everything (also what the reader made whose save failed before) and ends the process with
// status 0; what still cannot be saved is named for a moment first. In the screenshot mode a wait
// is reached only when no PNG was written, so the status is that of a screen that drew nothing.
[[noreturn]] void ui_save_and_exit();
constexpr int kScreenshotNothingStatus = 3;
// Ends the process as quit does but saves nothing: after the state files were replaced from
// outside (a restored backup), which saving would overwrite. Audiobook playback and a download
// are stopped first either way (playback saves only its own place, and does so when stopped at
// any time).
[[noreturn]] void ui_exit_unsaved();

// While it lives, a quit (which ends the process from inside any wait) first runs `stop`: a
// service a screen started must not outlive the program. Scopes nest; the innermost one counts.
class QuitCleanup {
 public:
  explicit QuitCleanup(void (*stop)());
  ~QuitCleanup();
  QuitCleanup(const QuitCleanup&) = delete;
  QuitCleanup& operator=(const QuitCleanup&) = delete;

 private:
  void (*outer_)();
};

// Sets app.back_passthrough for a scope and clears it when the scope ends, on every path, so no
// handler dispatched afterwards sees it set.
class BackPassthrough {
 public:
  BackPassthrough();
  ~BackPassthrough();
  BackPassthrough(const BackPassthrough&) = delete;
  BackPassthrough& operator=(const BackPassthrough&) = delete;
};
