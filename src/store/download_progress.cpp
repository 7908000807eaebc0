#include "store/download_progress.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/framebuffer.h"
#include "store/download_manager.h"
#include "store/free_catalog.h"

namespace {
constexpr int kMarginX = 48;
constexpr int kNameTop = 316;
constexpr int kNameSize = 54;
constexpr int kNameLineHeight = 62;
constexpr int kStatusSize = 42;
constexpr int kBarHeight = 14;
constexpr int kNoteSize = 42;
constexpr int kNoteLineHeight = 56;
constexpr int kButtonHeight = 124;
constexpr int kButtonLabelX = 88;
constexpr int kButtonLabelDrop = 80;  // the label's baseline below the button's top
constexpr float kButtonLabelSize = 54;
constexpr uint8_t kAccent = 2;
constexpr int kPollMs = 2000;
constexpr int kOutcomeMs = 2400;
constexpr std::string_view kNote =
    "You can go back and keep reading. The book appears in your library when it is complete.";
constexpr std::string_view kStopQuestion =
    "Stop this download? What has arrived so far is thrown away.";
constexpr std::string_view kStop = "Stop";
constexpr std::string_view kAdded = "Added to your library";
constexpr std::string_view kFailed = "The download did not complete. Nothing was added.";

// The screen's flag for the common wait, cleared on every way out.
struct DownloadsScreenFlag {
  DownloadsScreenFlag() { app.downloads_screen = true; }
  ~DownloadsScreenFlag() { app.downloads_screen = false; }
};

ProgressGeometry draw(std::string_view name, DownloadState state, uint64_t done, uint64_t total) {
  const int width = ql_fb().width - 2 * kMarginX;
  ui_draw_header("Download");
  const std::string shown(name);
  const ProgressGeometry g{ui_draw_wrapped(shown.c_str(), shown.size(), 2, kNameSize, kMarginX,
                                           kNameTop, width, kNameLineHeight)};
  const std::string status = state == DL_UNPACKING
                                 ? std::string("Unpacking the recordings...")
                                 : format_size_mb(done) + " of " + format_size_mb(total);
  ui_draw_text_fit(status.c_str(), 0, kStatusSize, kMarginX, g.status_y(), width);
  ql_frame(kMarginX, g.bar_y(), width, kBarHeight, 2);
  if (total > 0) {
    const double part = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    ql_rect(kMarginX, g.bar_y(), static_cast<int>(part * width), kBarHeight, 0);
  }
  ql_mark(kMarginX, g.bar_y(), width, kBarHeight, kAccent);
  ui_draw_wrapped(kNote.data(), kNote.size(), 0, kNoteSize, kMarginX, g.note_y(), width,
                  kNoteLineHeight);
  ql_frame(kMarginX, g.button_y(), width, kButtonHeight, 2);
  ql_text("Stop this download", TS_UI, kButtonLabelSize, kButtonLabelX,
          static_cast<float>(g.button_y() + kButtonLabelDrop));
  return g;
}

// The ending, told and acknowledged here since the common wait leaves it to this screen.
void show_outcome(DownloadState state) {
  ql_dl_ack();
  // An archive that arrived but did not unpack whole has a notice of its own, which says what
  // became of it and where it lies: the download is not told as failed over it (over another
  // archive's notice it is).
  app_call(app_hooks.books_added);  // tells that notice
  if (state == DL_DONE) {
    ui_toast_wait(kAdded.data(), kAdded.size(), kOutcomeMs);
  } else if (!ql_dl_noticed()) {
    download_failure_message();
  }
}
}  // namespace

void download_failure_message() { ui_toast_wait(kFailed.data(), kFailed.size(), kOutcomeMs); }

void download_progress_screen(const char* name, size_t length) {
  const DownloadsScreenFlag flag;
  const std::string_view shown(name, length);
  for (;;) {
    uint64_t done = 0, total = 0;
    const DownloadState state = ql_dl_state(&done, &total);
    if (state == DL_IDLE) return;
    if (state == DL_DONE || state == DL_FAILED) {
      show_outcome(state);
      return;
    }
    const ProgressGeometry g = draw(shown, state, done, total);
    ui_present(false);
    TapEvent event;
    const int32_t code = ui_wait_event_timed(event, kPollMs);
    if (code == TAP_REDRAW) return;
    if (code != TAP_TOUCH) continue;
    if (static_cast<int>(event.y) < kHeaderBottom + 1) return;
    if (g.is_stop_tap(static_cast<int>(event.y)) &&
        ui_confirm(kStopQuestion.data(), kStopQuestion.size(), kStop.data(), kStop.size())) {
      ql_dl_cancel();
    }
  }
}
