#include "app/ui_wait.h"

#include <cstdlib>

#include "app/app_state.h"
#include "app/ui_frame.h"
#include "display/device_facts.h"
#include "display/system_services.h"
#include "display/touch.h"
#include "library/library_view.h"
#include "library/progress_index.h"
#include "settings/usb_drive.h"
#include "app/ui_message.h"
#include "store/audio_unpack.h"
#include "store/download_manager.h"

namespace {
constexpr int64_t kWifiPollSeconds = 60;
constexpr int kTimedSliceMs = 5000;
constexpr uint32_t kBackTapHeldMs = 40;
constexpr char kDocuments[] = "/mnt/us/documents";
constexpr std::string_view kDownloadFailed = "The download did not complete. Nothing was added.";
constexpr int kDownloadFailedMs = 2400;

// One touch-layer wait into the event's fields; the touch layer's result.
int wait_touch(TapEvent& event, bool timed, int timeout_ms) {
  event = TapEvent{};
  int x = 0, y = 0, x2 = 0, y2 = 0, held = 0;
  if (!timed) ql_touch_timeout(0);
  const int r = timed ? ql_touch_poll(&x, &y, &x2, &y2, &held, timeout_ms)
                      : ql_touch_ex(&x, &y, &x2, &y2, &held);
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

[[noreturn]] void ui_save_and_exit() {
  app_persist_all();
  exit(app.screenshot_mode ? kScreenshotNothingStatus : 0);
}

BackPassthrough::BackPassthrough() { app.back_passthrough = true; }
BackPassthrough::~BackPassthrough() { app.back_passthrough = false; }

int32_t ui_common_event(int r, TapEvent& event) {
  if (shared_translation(r, event)) return event.code;
  switch (r) {
    case TAP_APPEARANCE:
      app.clean = false;
      event.code = TAP_REDRAW;
      break;
    case TAP_BOOKS_ADDED:
      ql_unpack_zips(kDocuments);
      library_rescan_documents();
      app.library_page = 0;
      event.code = TAP_REDRAW;
      break;
    case TAP_STORAGE:
      usb_storage_wait();
      event.code = TAP_REDRAW;
      break;
    default:
      if (r < 0) {
        app_persist_all();
        app.clean = false;
        event.code = TAP_REDRAW;
      } else {
        event.code = r;
      }
      break;
  }
  return event.code;
}

namespace {
// A download that ended after its progress screen was left: a finished one is rescanned into the
// library, a failed one is told now, since no screen is left to say it. True when a message was
// drawn over the screen.
bool report_finished_download() {
  if (app.downloads_screen) return false;
  const DownloadState s = ql_dl_state(nullptr, nullptr);
  if (s != DL_DONE && s != DL_FAILED) return false;
  ql_dl_ack();
  if (s == DL_DONE) {
    library_rescan_documents();
    return false;
  }
  TapEvent ignored;
  const int r = ui_toast_wait(kDownloadFailed.data(), kDownloadFailed.size(), kDownloadFailedMs);
  if (r != TAP_TIMEOUT && r != TAP_TOUCH) ui_common_event(r, ignored);
  return true;
}
}  // namespace

void ui_wait_event(TapEvent& event) {
  if (report_finished_download()) {
    event = TapEvent{};
    event.code = TAP_REDRAW;
    return;
  }
  if (ql_now() - app.wifi_polled_at > kWifiPollSeconds) {
    app.wifi_state = ql_wifi_on();
    app.wifi_polled_at = ql_now();
  }
  ui_common_event(wait_touch(event, false, 0), event);
}

int32_t ui_wait_event_timed(TapEvent& event, int timeout_ms) {
  int r = 0;
  if (timeout_ms == 0) {
    do r = wait_touch(event, true, kTimedSliceMs);
    while (r == TAP_TIMEOUT);
  } else {
    r = wait_touch(event, true, timeout_ms);
  }
  if (shared_translation(r, event)) return event.code;
  switch (r) {
    case TAP_STORAGE:
      usb_storage_wait();
      event.code = TAP_REDRAW;
      break;
    case TAP_DEVICE:
      app_persist_all();
      app.clean = false;
      event.code = TAP_REDRAW;
      break;
    default:
      event.code = r;
      break;
  }
  return event.code;
}

void ui_wait_event_timeout(TapEvent& event, int timeout_ms) {
  const int r = wait_touch(event, true, timeout_ms);
  if (!shared_translation(r, event)) event.code = r;
}
