#include "display/touch.h"

#include "display/framebuffer.h"
#include "host/plat.h"

#include <cstdlib>

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
};

TouchState t;

void forget_gesture() {
  t.held = 0;
  t.down = false;
  t.early = false;
}

int wait_touch(int* x, int* y) {
  if (ql_headless()) {
    t.held = 0;
    return TOUCH_QUIT;
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
        break;
      case HOST_POINTER_MOVE:
        if (t.down) t.last_x = ex;
        break;
      case HOST_POINTER_UP: {
        if (!t.down) break;
        t.down = false;
        t.last_x = ex;
        *x = t.sx;
        *y = t.sy;
        t.x2 = ex;
        t.y2 = ey;
        t.held = static_cast<int>(t.src->now_ms() - t.down_ms);
        if (!t.early) return TOUCH_GESTURE;
        t.early = false;
        if (t.held > kHoldMs || abs(t.last_x - t.sx) >= kSwipeMinPx) return TOUCH_EARLY_CANCEL;
        break;  // the early tap was already reported
      }
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
