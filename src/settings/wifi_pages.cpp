// The Wi-Fi page: the radio switch, scanning and joining a network with a typed password, the
// saved networks to forget, and the script's status lines.
#include <array>
#include <string>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "base/system_services.h"
#include "display/device_facts.h"
#include "settings/device_script_run.h"
#include "settings/device_services.h"

namespace {
constexpr ScriptOutput kSsids{ScriptOutput::kAnswer, "/tmp/ql-ssids.txt", 40};
constexpr ScriptOutput kKnown{ScriptOutput::kAnswer, "/tmp/ql-known.txt", 40};
constexpr ScriptOutput kBrief{ScriptOutput::kAnswer, "/tmp/ql-wst.txt", 20};
constexpr ScriptOutput kJoinLog{ScriptOutput::kAnswerAndErrors, "/mnt/us/ql/wifi-join.log", 0};
constexpr ScriptOutput kForgetLog{ScriptOutput::kAppendLog, "/mnt/us/ql/wifi-join.log", 0};

// Quoted lengths of the command line's arguments.
constexpr size_t kQuotedNameMax = 634;
constexpr size_t kQuotedPasswordMax = 394;
constexpr size_t kPasswordCapacity = 97;  // 96 bytes and the terminating zero
constexpr std::string_view kPasswordTitle = "Password for ";

// The cached state word, read afresh when an action may have changed it.
int wifi_state() {
  if (app.wifi_state == -1) {
    app.wifi_state = ql_wifi_on();
    app.wifi_polled_at = ql_now();
  }
  return app.wifi_state;
}

void toggle_radio() {
  ql_wifi_set(wifi_state() > 0 ? 0 : 1);
  app.wifi_state = -1;
}

void scan_and_join() {
  constexpr std::string_view scanning = "Scanning...";
  ui_toast(scanning.data(), scanning.size());
  const ScriptReply networks = script_run(ScriptLine(kScriptWifi, "ssids"), kSsids);
  if (!networks.ran) return script_not_available();
  if (networks.lines.empty()) return script_message("No networks found");
  const std::optional<size_t> chosen = script_list_menu("Choose network", networks.lines);
  if (!chosen) return;
  // The name goes back to the script as it wrote it; only the screens show it cleaned.
  const std::string& ssid = networks.lines[*chosen];
  const std::string title = std::string(kPasswordTitle) + script_text_shown(ssid);
  std::array<char, kPasswordCapacity> password{};
  const std::optional<std::string_view> typed =
      keyboard_edit(title.data(), title.size(), password.data(), password.size(), "", 0, true);
  if (!typed) return;
  constexpr std::string_view joining = "Joining...";
  ui_toast(joining.data(), joining.size());
  const ScriptReply joined = script_run(
      ScriptLine(kScriptWifi, "join").arg(ssid, kQuotedNameMax).arg(*typed, kQuotedPasswordMax),
      kJoinLog);
  app.wifi_state = -1;
  if (!joined.ran) return script_not_available();
  script_message("Join requested; see Status");
}

void known_networks() {
  const ScriptReply known = script_run(ScriptLine(kScriptWifi, "known"), kKnown);
  if (!known.ran) return script_not_available();
  if (known.lines.empty()) return script_message("No saved networks");
  const std::optional<size_t> chosen = script_list_menu("Known networks (tap to forget)", known.lines);
  if (!chosen) return;
  constexpr std::string_view question = "Forget this network?";
  constexpr std::string_view forget = "Forget";
  if (!ui_confirm(question.data(), question.size(), forget.data(), forget.size())) return;
  const ScriptReply forgotten =
      script_run(ScriptLine(kScriptWifi, "forget").arg(known.lines[*chosen], kQuotedNameMax), kForgetLog);
  app.wifi_state = -1;
  if (!forgotten.ran) script_not_available();
}

void status_page() {
  const ScriptReply status = script_run(ScriptLine(kScriptWifi, "brief"), kBrief);
  if (!status.ran) return script_not_available();
  const std::vector<std::string> shown = script_lines_shown(status.lines);
  const std::vector<std::string_view> lines(shown.begin(), shown.end());
  constexpr std::string_view title = "Wi-Fi status";
  ui_info_page(title.data(), title.size(), lines);
}
}  // namespace

void wifi_page() {
  enum Row { kToggle, kScan, kKnownRow, kStatus };
  for (;;) {
    const std::string toggle =
        std::string("Wi-Fi: ") + (wifi_state() > 0 ? "On" : "Off") + " (tap to toggle)";
    const std::array<std::string_view, 4> rows = {toggle, "Scan and join a network",
                                                  "Known networks / forget", "Status"};
    constexpr std::string_view title = "Wi-Fi networks";
    const std::optional<size_t> chosen = ui_list_menu(title.data(), title.size(), rows);
    if (!chosen) return;
    switch (*chosen) {
      case kToggle: toggle_radio(); break;
      case kScan: scan_and_join(); break;
      case kKnownRow: known_networks(); break;
      case kStatus: status_page(); break;
    }
  }
}
