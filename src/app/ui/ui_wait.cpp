#include "app/ui/ui_wait.h"

#include <cstdlib>

#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "base/system_services.h"
#include "display/device_facts.h"
#include "display/framebuffer.h"
#include "display/touch.h"

namespace {
constexpr int64_t kWifiPollSeconds = 60;
constexpr int kTimedSliceMs = 5000;
constexpr uint32_t kBackTapHeldMs = 40;
constexpr uint32_t kWaveformTyping = 1;
constexpr int kPageKeyInset = 60;

void (*quit_cleanup)() = nullptr;  // the innermost QuitCleanup's stop

void run_quit_cleanup() {
  void (*const stop)() = quit_cleanup;
  quit_cleanup = nullptr;
  if (stop) stop();
}

// One touch-layer wait into the event's fields; the touch layer's result. The page keys have a
// place for this wait only.
int wait_touch(TapEvent& event, bool timed, int timeout_ms, const PageKeyTaps* page_keys) {
  event = TapEvent{};
  int x = 0, y = 0, x2 = 0, y2 = 0, held = 0;
  if (!timed) ql_touch_timeout(0);
  ql_touch_page_keys(page_keys);
  const int r = timed ? ql_touch_poll(&x, &y, &x2, &y2, &held, timeout_ms)
                      : ql_touch_ex(&x, &y, &x2, &y2, &held);
  ql_touch_page_keys(nullptr);
  event.x = uint32_t(x);
  event.y = uint32_t(y);
  event.x2 = uint32_t(x2);
  event.y2 = uint32_t(y2);
  event.held_ms = uint32_t(held);
  return r;
}

// The back key as a tap on the header's back arrow.
void make_back_tap(TapEvent& event) {
  event.x = event.x2 = kBackTapX;
  event.y = event.y2 = kBackTapY;
  event.held_ms = kBackTapHeldMs;
  event.code = TAP_TOUCH;
}

// Books added are taken in by whichever wait takes their event, whatever screen is up (archives
// unpacked, the library rescanned and back on its first page): a screen that only redraws on it
// must not lose them.
void take_in_added_books() {
  app_call(app_hooks.books_added);
  app.library_page = 0;
}

// Quit and the back key are the same for every wait; true when `r` was one of them (handled).
bool shared_translation(int r, TapEvent& event) {
  if (r == 0) ui_save_and_exit();
  if (r != TAP_BACK) return false;
  if (app.back_passthrough) {
    event.code = TAP_BACK;
  } else {
    make_back_tap(event);
  }
  return true;
}
}  // namespace

namespace {
// Services that must not outlive the program: playback (which saves its place) and a download
// (whose part file goes with it). An unpack already under way runs on until the process ends; its
// journal completes it at the next start.
void stop_services() {
  app_call(app_hooks.stop_playback);
  app_call(app_hooks.stop_download);
}

[[noreturn]] void end_process() { exit(app.screenshot.on ? kScreenshotNothingStatus : 0); }
}  // namespace

[[noreturn]] void ui_save_and_exit() {
  run_quit_cleanup();
  app_call(app_hooks.persist_all);
  stop_services();
  ui_tell_unsaved_at_quit();
  end_process();
}

[[noreturn]] void ui_exit_unsaved() {
  run_quit_cleanup();
  stop_services();
  end_process();
}

QuitCleanup::QuitCleanup(void (*stop)()) : outer_(quit_cleanup) { quit_cleanup = stop; }
QuitCleanup::~QuitCleanup() { quit_cleanup = outer_; }

BackPassthrough::BackPassthrough() { app.back_passthrough = true; }
BackPassthrough::~BackPassthrough() { app.back_passthrough = false; }

PageKeyTaps ui_pager_keys(int screen_w, int y) {
  return {screen_w - kPageKeyInset, y, kPageKeyInset, y};
}

int32_t ui_common_event(int r, TapEvent& event) {
  if (shared_translation(r, event)) return event.code;
  switch (r) {
    case TAP_APPEARANCE:
      app.present.clean = false;
      event.code = TAP_REDRAW;
      break;
    case TAP_BOOKS_ADDED:
      take_in_added_books();
      event.code = TAP_REDRAW;
      break;
    case TAP_STORAGE:
      app_call(app_hooks.storage_wait);
      event.code = TAP_REDRAW;
      break;
    default:
      if (r < 0) {
        app_call(app_hooks.persist_all);
        app.present.clean = false;
        event.code = TAP_REDRAW;
      } else {
        event.code = r;
      }
      break;
  }
  return event.code;
}

void ui_wait_event(TapEvent& event, const PageKeyTaps* page_keys) {
  if (app_hooks.before_wait && app_hooks.before_wait()) {
    event = TapEvent{};
    event.code = TAP_REDRAW;
    return;
  }
  if (ql_now() - app.wifi_polled_at > kWifiPollSeconds) {
    app.wifi_state = ql_wifi_on();
    app.wifi_polled_at = ql_now();
  }
  ui_common_event(wait_touch(event, false, 0, page_keys), event);
}

bool ui_present_typing_wait(TapEvent& event) {
  ui_present(false);
  app.present.waveform = kWaveformTyping;
  ql_settle();
  ui_wait_event(event);
  return event.code == TAP_TOUCH;
}

int32_t ui_wait_event_timed(TapEvent& event, int timeout_ms, const PageKeyTaps* page_keys) {
  int r = 0;
  if (timeout_ms == 0) {
    do r = wait_touch(event, true, kTimedSliceMs, page_keys);
    while (r == TAP_TIMEOUT);
  } else {
    r = wait_touch(event, true, timeout_ms, page_keys);
  }
  if (shared_translation(r, event)) return event.code;
  switch (r) {
    case TAP_BOOKS_ADDED:
      take_in_added_books();
      event.code = r;
      break;
    case TAP_STORAGE:
      app_call(app_hooks.storage_wait);
      event.code = TAP_REDRAW;
      break;
    case TAP_DEVICE:
      app_call(app_hooks.persist_all);
      app.present.clean = false;
      event.code = TAP_REDRAW;
      break;
    default:
      event.code = r;
      break;
  }
  return event.code;
}

void ui_wait_event_timeout(TapEvent& event, int timeout_ms) {
  const int r = wait_touch(event, true, timeout_ms, nullptr);
  if (shared_translation(r, event)) return;
  if (r == TAP_BOOKS_ADDED) take_in_added_books();
  event.code = r;
}
