#include "settings/usb_drive.h"

#include <string_view>
#include <unistd.h>

#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "base/file_copy.h"
#include "base/paths.h"
#include "base/system_services.h"
#include "book/book_pictures.h"
#include "book/dict/installed_dictionaries.h"
#include "display/framebuffer.h"
#include "display/touch.h"
#include "settings/device_platform.h"

namespace {
constexpr char kDocuments[] = "/mnt/us/documents";
constexpr char kProgramFolder[] = "/mnt/us/ql";
constexpr char kStateFolder[] = "/mnt/us/ql/state";
constexpr int kPollMs = 700;
constexpr int kKeepPollMs = 250;
constexpr int kKeepPolls = 60;  // 15 s for the computer to hand the storage back

constexpr std::string_view kBody =
    "This device is open on your computer as a drive. Copy books into Documents, then eject it "
    "there.";
constexpr std::string_view kFooter = "Finish copying first. For USB again, replug the cable.";
constexpr const char* kButton = "Keep reading while charging";
constexpr int kSide = 48;
constexpr int kTitleY = 192;
constexpr int kBodyTop = 310;
constexpr int kBodySize = 54;
constexpr int kBodyLine = 74;
constexpr int kButtonGap = 50;
constexpr int kButtonHeight = 150;
constexpr int kButtonFrame = 3;
constexpr int kButtonBaseline = 144;  // below the body's end
constexpr int kFooterGap = 280;       // below the body's end
constexpr int kFooterSize = 42;
constexpr int kFooterLine = 60;

bool documents_present() { return qlp_access(kDocuments, F_OK) == 0; }

bool make_folder(const char* device_path) {
  char buf[kQlPathMax];
  return make_folders(ql_path(device_path, buf, sizeof buf));
}

// One touch wait of the USB screen; a quit saves everything and ends the program.
int poll_touch(int timeout_ms, int* y) {
  int x = 0, x2 = 0, y2 = 0, held = 0;
  const int r = ql_touch_poll(&x, y, &x2, &y2, &held, timeout_ms);
  if (r == TOUCH_QUIT) ui_save_and_exit();
  return r;
}

// Until the documents folder is back, or the user chose to keep reading and the computer had
// 15 s to let go of the storage. The short waits go through the touch layer rather than sleeping,
// so a quit meanwhile still saves.
void wait_for_storage(int button_top) {
  while (!documents_present()) {
    int y = 0;
    if (poll_touch(kPollMs, &y) != TOUCH_GESTURE) continue;
    if (y < button_top - kUsbButtonAbove || y > button_top + kUsbButtonBelow) continue;
    ql_usb_keep(1);
    for (int i = 0; i < kKeepPolls && !documents_present(); ++i) poll_touch(kKeepPollMs, &y);
    break;
  }
  ql_touch_timeout(0);
}
}  // namespace

int usb_connected_screen() {
  app.present.waveform = kWaveformFull;
  const int w = ql_fb().width;
  const int width = w - 2 * kSide;
  ql_clear();
  ui_draw_status_bar();
  ui_draw_title_fit("Connected", kSide, kTitleY, width);
  const int end = ui_draw_wrapped(kBody.data(), kBody.size(), TS_REGULAR, kBodySize, kSide,
                                  kBodyTop, width, kBodyLine);
  const int button_top = end + kButtonGap;
  ql_frame(kSide, button_top, width, kButtonHeight, kButtonFrame);
  const float label_width = ql_measure(kButton, TS_UI_BOLD, kBodySize);
  ql_text(kButton, TS_UI_BOLD, kBodySize, (float(w) - label_width) / 2,
          float(end + kButtonBaseline));
  ui_draw_wrapped(kFooter.data(), kFooter.size(), TS_REGULAR, kFooterSize, kSide, end + kFooterGap,
                  width, kFooterLine);
  ui_present(false);
  return button_top;
}

void usb_storage_wait() {
  if (documents_present()) return;
  const bool program_folder = qlp_access(kProgramFolder, F_OK) == 0;
  if (program_folder || !device_platform()) {
    // Only the documents folder went, or the desktop's data folder was removed: nothing is
    // exported, so waiting would never end.
    make_folder(kDocuments);
    if (!program_folder) make_folder(kStateFolder);
    app_call(app_hooks.rescan_library);  // the books that went with it leave the library too
    return;
  }
  forget_installed_dictionaries();
  const int button_top = usb_connected_screen();
  ql_usb_modal(1);
  wait_for_storage(button_top);
  if (app.reader.book_open) ql_zip_remap(app.reader.open_path);
  app_call(app_hooks.rescan_library);
  app.present.clean = true;
  ql_usb_modal(0);
}
