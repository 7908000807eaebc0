// Touch input: turns the host's pointer events into whole gestures (tap, hold, swipe), with an
// optional early zone at the left and right edges that reports a touch as soon as it lands.
#pragma once

// What a touch wait returns.
enum TouchResult : int {
  TOUCH_DEVICE_2 = -7,     // host device event 8
  TOUCH_APPEARANCE = -6,   // dark mode changed
  TOUCH_BOOKS_ADDED = -5,  // books were added
  TOUCH_DEVICE = -2,       // host device event 4
  TOUCH_TIMEOUT = -1,
  TOUCH_QUIT = 0,          // quit requested, or headless
  TOUCH_GESTURE = 1,       // a gesture ended; x, y = where it went down
  TOUCH_EARLY = 2,         // early edge touch, reported at pointer-down
  TOUCH_EARLY_CANCEL = 3,  // that early touch became a hold or a swipe
};

constexpr int kHoldMs = 449;        // a hold lasts longer than this
constexpr int kSwipeMinPx = 151;    // horizontal travel of a swipe

// Where the page keys tap: a key that turns forward becomes a touch (down and up) at the forward
// point, one that turns back at the back point, both on the screen that waits. Each screen places
// them where a tap turns its pages (the reader's page edges, a pager).
struct PageKeyTaps {
  int forward_x = 0, forward_y = 0;
  int back_x = 0, back_y = 0;
};
// The page keys' taps for the waits that follow (null: a page key does nothing); it stays set
// until set again. A key tap is never a hold: it counts no time between its down and up.
void ql_touch_page_keys(const PageKeyTaps* taps);

// Wait time-out in ms (<= 0 waits without end); it stays set until set again.
void ql_touch_timeout(int ms);
// The early zone: touches with x < edge or x >= width - edge and top <= y < bottom; edge < 1 clears.
void ql_touch_early(int edge, int top, int bottom);
int ql_touch(int* x, int* y);
// As ql_touch; for a gesture also the end point and hold time. Each out-pointer may be NULL.
int ql_touch_ex(int* x, int* y, int* x2, int* y2, int* held);
// Sets the time-out to `ms` (it stays set), then as ql_touch_ex.
int ql_touch_poll(int* x, int* y, int* x2, int* y2, int* held, int ms);
// Non-zero when host events are queued; 0 in headless mode.
int ql_touch_waiting();

// Where touches come from: the host's queue and the display clock, unless a test puts others in.
struct TouchSource {
  int (*event)(int timeout_ms, int* x, int* y);  // as plat_event
  int (*pending)();                              // as plat_pending
  double (*now_ms)();                            // monotonic milliseconds
};
// NULL restores the host's source. Also forgets any open gesture.
void ql_touch_set_source(const TouchSource* source);
// The source's clock in milliseconds: what screens with a deadline of their own measure against.
double ql_touch_now_ms();
