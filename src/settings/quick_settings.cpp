#include "settings/quick_settings.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "base/system_services.h"
#include "display/device_facts.h"
#include "display/device_scripts.h"
#include "settings/device_platform.h"
#include "settings/device_script_run.h"
#include "settings/device_services.h"
#include "settings/frontlight_panel.h"
#include "settings/settings_pages.h"

namespace {
enum class Quick : uint8_t {
  Wifi = 0,
  Airplane = 1,
  Bluetooth = 2,
  MorningSync = 3,
  Frontlight = 4,
  DarkMode = 5,
  RefreshClose = 6,
  SaveClose = 7,
  AllSettings = 8,
};

constexpr Quick kDeviceRows[] = {Quick::Wifi,         Quick::Airplane,   Quick::Bluetooth,
                                 Quick::MorningSync,  Quick::Frontlight, Quick::DarkMode,
                                 Quick::RefreshClose, Quick::SaveClose,  Quick::AllSettings};
constexpr Quick kDesktopRows[] = {Quick::DarkMode, Quick::AllSettings};

constexpr std::string_view kTitle = "Quick settings";
constexpr std::string_view kSyncing = "Syncing: Wi-Fi on, fetch, Wi-Fi off...";
constexpr std::string_view kSynced = "Today's paper is pinned at the top of the library";
constexpr std::string_view kAirplaneOn = "Airplane mode on";

// The cached Wi-Fi state, read now when it is not known.
int32_t wifi_state() {
  if (app.wifi_state == -1) {
    app.wifi_state = ql_wifi_on();
    app.wifi_polled_at = ql_now();
  }
  return app.wifi_state;
}

std::string row_text(Quick action) {
  switch (action) {
    case Quick::Wifi: return wifi_state() == 1 ? "Wi-Fi: On" : "Wi-Fi: Off";
    case Quick::Airplane: return "Airplane mode";
    case Quick::Bluetooth: return "Bluetooth (headphones)";
    case Quick::MorningSync: return "Sync the Morning Paper";
    case Quick::Frontlight: return "Frontlight";
    case Quick::DarkMode: return app.present.inverted ? "Dark mode: On" : "Dark mode: Off";
    case Quick::RefreshClose: return "Refresh the screen";
    case Quick::SaveClose: return "Save and close";
    case Quick::AllSettings: return "All settings";
  }
  return {};
}

void toast(std::string_view text) { ui_toast(text.data(), text.size()); }

// A script verb whose output nobody reads; true when it ran, else the user was told.
bool run_quietly(std::string_view script, std::string_view verb) {
  if (script_run(ScriptLine(script, verb), {ScriptOutput::kDiscard}).ran) return true;
  script_not_available();
  return false;
}

void airplane_mode() {
  ql_wifi_set(0);
  const bool ran = run_quietly(kScriptBt, "off");
  app.wifi_state = -1;
  if (ran) toast(kAirplaneOn);
}

void morning_sync() {
  toast(kSyncing);
  const bool ran = run_quietly(kScriptMorning, "sync");
  app.wifi_state = -1;
  if (!ran) return;
  app_call(app_hooks.rescan_library);
  toast(kSynced);
}

// Runs a row's action; false when the panel closes.
bool run(Quick action) {
  switch (action) {
    case Quick::Wifi:
      ql_wifi_set(wifi_state() == 1 ? 0 : 1);
      app.wifi_state = -1;
      return true;
    case Quick::Airplane: airplane_mode(); return true;
    case Quick::Bluetooth: bt_menu(); return true;
    case Quick::MorningSync: morning_sync(); return true;
    case Quick::Frontlight: frontlight_panel(true); return true;
    case Quick::DarkMode: ui_toggle_dark_mode(); return true;
    case Quick::RefreshClose: app.present.clean = false; return false;
    case Quick::SaveClose:
      app_call(app_hooks.persist_all);
      app.present.clean = false;
      return false;
    case Quick::AllSettings: settings_pages(); return true;
  }
  return true;
}
}  // namespace

void quick_settings_panel() {
  const std::span<const Quick> actions = platform_rows(kDeviceRows, kDesktopRows);
  for (;;) {
    wifi_state();
    ui_apply_appearance();  // the dark-mode row tells the flag the list is shown with
    std::vector<std::string> texts;
    for (Quick action : actions) texts.push_back(row_text(action));
    const std::vector<std::string_view> rows(texts.begin(), texts.end());
    const auto chosen = ui_list_menu(kTitle.data(), kTitle.size(), rows);
    if (!chosen) return;
    if (!run(actions[*chosen])) return;
  }
}
