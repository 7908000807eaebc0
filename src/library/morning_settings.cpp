// The "Feed and wake time" menu of the Morning Paper.
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_state.h"
#include "display/device_facts.h"
#include "library/edition_dates.h"
#include "library/library_view.h"
#include "library/morning_paper.h"
#include "store/opds_browse.h"

namespace {

constexpr size_t kLinkSize = sizeof SettingsRecord{}.opds;
constexpr int kWakeStep = 15;

enum Row { DIRECT, FEED, EARLIER, LATER, WAKE, SYNC, BROWSE };

std::string two_digits(int32_t n) {
  char text[16];
  snprintf(text, sizeof text, "%02d", static_cast<int>(n));
  return text;
}

// Edits a link in the keyboard; a cancelled keyboard keeps it, an empty text empties it.
void edit_link(std::string_view title, char (&link)[kLinkSize]) {
  char buffer[kLinkSize] = {};
  const std::optional<std::string_view> text =
      keyboard_edit(title.data(), title.size(), buffer, sizeof buffer, link, strnlen(link, kLinkSize - 1),
                    false);
  if (!text) return;
  const size_t n = std::min(text->size(), kLinkSize - 1);
  memcpy(link, text->data(), n);
  link[n] = '\0';
  qls_save(settings);
}

void sync_now() {
  constexpr std::string_view kSyncing = "Syncing: Wi-Fi on, fetch, Wi-Fi off...";
  ui_toast(kSyncing.data(), kSyncing.size());
  ql_system("sh /mnt/us/ql/bin/ql-morning.sh sync >/dev/null 2>&1");
  app.wifi_state = -1;
  library_rescan_documents();
  constexpr std::string_view kPinned = "Today's paper is pinned at the top of the library";
  ui_toast(kPinned.data(), kPinned.size());
}

}  // namespace

void morning_settings_menu() {
  for (;;) {
    const std::string direct = std::string("Direct edition link: ") +
                               (settings.morning[0] ? settings.morning : "(optional; the feed below is used)");
    const std::string feed = std::string("Feed: ") + settings.opds;
    const std::string wake = "Wake and fetch at " + two_digits(settings.wake_hour) + ":" +
                             two_digits(settings.wake_min) + "   (tap for -15 min)";
    const std::array<std::string_view, 7> rows = {
        direct, feed, wake, "Wake time +15 min",
        ui_state.morning ? "Morning wake: On" : "Morning wake: Off", "Sync now", "Browse the feed"};
    constexpr std::string_view kTitle = "Feed and wake time";
    const std::optional<size_t> pick = ui_list_menu(kTitle.data(), kTitle.size(), rows);
    if (!pick) return;
    switch (*pick) {
      case DIRECT: edit_link("Direct EPUB link (optional)", settings.morning); break;
      case FEED: edit_link("Feed link", settings.opds); break;
      case EARLIER:
      case LATER:
        wake_time_step(settings.wake_hour, settings.wake_min, *pick == EARLIER ? -kWakeStep : kWakeStep);
        qls_save(settings);
        break;
      case WAKE:
        ui_state.morning = !ui_state.morning;
        ui_save();
        break;
      case SYNC: sync_now(); break;
      default: opds_browse(settings.opds, strnlen(settings.opds, kLinkSize - 1)); break;
    }
  }
}
