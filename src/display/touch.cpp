#include "display/touch.h"

#include "display/framebuffer.h"
#include "host/plat.h"

#include <cstdlib>
#include <optional>

namespace {

const TouchSource kHostSource = {plat_event, plat_pending, ql_now_ms};

// Touch state, used on the core thread only; a gesture may span several waits.
struct TouchState {
  const TouchSource* src = &kHostSource;
  int timeout_ms = 0;
  int edge = 0, top = 0, bottom = 0;
  bool down = false;
  int sx = 0, sy = 0;  // where the pointer went down
  int last_x = 0;
  double down_ms = 0;
  bool early = false;  // an early touch was reported and its gesture is still open
  int x2 = 0, y2 = 0;
  int held = 0;
  std::optional<PageKeyTaps> keys;
  bool key_tap = false;         // the open gesture is a page key's, held no time
  bool key_up_pending = false;  // its up is still to come, at (key_x, key_y)
  int key_x = 0, key_y = 0;
};

TouchState t;

void forget_gesture() {
  t.held = 0;
  t.down = false;
  t.early = false;
  t.key_tap = false;
  t.key_up_pending = false;
}

// A pointer down at (ex, ey): TOUCH_EARLY when it lands in the early zone, else 0 (the gesture
// goes on).
int press(int ex, int ey, int* x, int* y) {
  t.down = true;
  t.sx = t.last_x = ex;
  t.sy = ey;
  t.down_ms = t.src->now_ms();
  if (t.edge >= 1 && !t.early && ey >= t.top && ey < t.bottom &&
      (ex < t.edge || ex >= ql_fb().width - t.edge)) {
    t.early = true;
    *x = ex;
    *y = ey;
    t.x2 = ex;
    t.y2 = ey;
    t.held = 0;
    return TOUCH_EARLY;
  }
  return 0;
}

// A pointer up at (ex, ey): the gesture's result, or 0 when there is nothing to report (no touch
// was down, or its early touch was reported already).
int release(int ex, int ey, int* x, int* y) {
  if (!t.down) return 0;
  t.down = false;
  t.last_x = ex;
  *x = t.sx;
  *y = t.sy;
  t.x2 = ex;
  t.y2 = ey;
  t.held = t.key_tap ? 0 : static_cast<int>(t.src->now_ms() - t.down_ms);
  t.key_tap = false;
  if (!t.early) return TOUCH_GESTURE;
  t.early = false;
  if (t.held > kHoldMs || abs(t.last_x - t.sx) >= kSwipeMinPx) return TOUCH_EARLY_CANCEL;
  return 0;
}

// A page key as a tap at the point the waiting screen gave it; 0 when the key has no place there
// (or a touch is under way), or when the tap's early touch was reported (its up then comes first
// at the next wait).
int page_key(bool forward, int* x, int* y) {
  if (!t.keys || t.down) return 0;
  t.key_x = forward ? t.keys->forward_x : t.keys->back_x;
  t.key_y = forward ? t.keys->forward_y : t.keys->back_y;
  t.key_tap = true;
  if (const int r = press(t.key_x, t.key_y, x, y)) {
    t.key_up_pending = true;
    return r;
  }
  return release(t.key_x, t.key_y, x, y);
}

int wait_touch(int* x, int* y) {
  if (ql_headless()) {
    t.held = 0;
    return TOUCH_QUIT;
  }
  if (t.key_up_pending) {
    t.key_up_pending = false;
    if (const int r = release(t.key_x, t.key_y, x, y)) return r;
  }
  const double t0 = t.src->now_ms();
  for (;;) {
    int wait = -1;
    if (t.timeout_ms >= 1 && !t.down) {
      const double remaining = t0 + t.timeout_ms - t.src->now_ms();
      if (remaining <= 0) return TOUCH_TIMEOUT;
      wait = static_cast<int>(remaining) + 1;
    }
    int ex = 0, ey = 0;
    const int type = t.src->event(wait, &ex, &ey);
    switch (type) {
      case 0:
        break;  // nothing arrived; the next round times out when the time is up
      case HOST_POINTER_DOWN:
        if (const int r = press(ex, ey, x, y)) return r;
        break;
      case HOST_POINTER_MOVE:
        if (t.down) t.last_x = ex;
        break;
      case HOST_POINTER_UP:
        if (const int r = release(ex, ey, x, y)) return r;
        break;
      case HOST_PAGE_KEY:
        if (const int r = page_key(ex != 0, x, y)) return r;
        break;
      case HOST_DEVICE_EVENT:
        forget_gesture();
        return TOUCH_DEVICE;
      case HOST_QUIT:
        return TOUCH_QUIT;
      case HOST_BOOKS_ADDED:
        forget_gesture();
        return TOUCH_BOOKS_ADDED;
      case HOST_APPEARANCE:
        forget_gesture();
        return TOUCH_APPEARANCE;
      case HOST_DEVICE_EVENT_2:
        forget_gesture();
        return TOUCH_DEVICE_2;
      default:
        break;
    }
  }
}

}  // namespace

void ql_touch_page_keys(const PageKeyTaps* taps) {
  t.keys = taps ? std::optional<PageKeyTaps>(*taps) : std::nullopt;
}

void ql_touch_timeout(int ms) { t.timeout_ms = ms; }

void ql_touch_early(int edge, int top, int bottom) {
  t.edge = edge;
  t.top = top;
  t.bottom = bottom;
}

int ql_touch(int* x, int* y) { return ql_touch_ex(x, y, nullptr, nullptr, nullptr); }

int ql_touch_ex(int* x, int* y, int* x2, int* y2, int* held) {
  int dx = 0, dy = 0;
  const int r = wait_touch(x ? x : &dx, y ? y : &dy);
  if (x2) *x2 = t.x2;
  if (y2) *y2 = t.y2;
  if (held) *held = t.held;
  return r;
}

int ql_touch_poll(int* x, int* y, int* x2, int* y2, int* held, int ms) {
  t.timeout_ms = ms;
  return ql_touch_ex(x, y, x2, y2, held);
}

int ql_touch_waiting() { return ql_headless() ? 0 : t.src->pending(); }

void ql_touch_set_source(const TouchSource* source) {
  t.src = source ? source : &kHostSource;
  forget_gesture();
}

double ql_touch_now_ms() { return t.src->now_ms(); }
