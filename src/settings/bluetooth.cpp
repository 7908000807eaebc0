#include "settings/bluetooth.h"

#include <array>
#include <cstring>
#include <vector>

#include "app/ui/settings_file.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "base/shell_quote.h"
#include "display/device_facts.h"
#include "settings/device_script_run.h"
#include "settings/device_services.h"

namespace {
constexpr ScriptOutput kDeviceList{ScriptOutput::kAnswer, "/tmp/ql-bt.txt", 40};
constexpr ScriptOutput kConnectLog{ScriptOutput::kAnswerAndErrors, "/mnt/us/ql/bt-conn.txt", 0};
constexpr ScriptOutput kDiscard{ScriptOutput::kDiscard, nullptr, 0};
constexpr ScriptOutput kAsBuilt{};
constexpr std::string_view kAllowList = "/mnt/us/ql/state/bt-allowed";
constexpr size_t kQuotedAddressMax = kBtAddressLength + 1;
constexpr std::string_view kNothingFound = "No headphones/speakers found";

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string quoted_address(std::string_view address) {
  std::string q;
  shell_quote_append(q, address, kQuotedAddressMax);
  return q;
}

// Runs a verb that takes the chosen address as its one argument.
ScriptReply run_with_address(std::string_view verb, const std::string& address,
                             const ScriptOutput& output) {
  return script_run(ScriptLine(kScriptBt, verb).arg(address, kQuotedAddressMax), output);
}

bool ask(std::string_view message, std::string_view action) {
  return ui_confirm(message.data(), message.size(), action.data(), action.size());
}

void pair_or_connect(const BtDevice& device, const std::string& row, bool scanned) {
  if (!ask(row, scanned ? "Pair" : "Connect")) return;
  if (ql_system(bt_allow_device(device.address).c_str()) == -1) return script_not_available();
  constexpr std::string_view connecting = "Connecting...";
  ui_toast(connecting.data(), connecting.size());
  if (!run_with_address(scanned ? "pair" : "connect", device.address, kConnectLog).ran) {
    return script_not_available();
  }
  static_assert(sizeof settings.bt > kBtAddressLength);
  memcpy(settings.bt, device.address.data(), kBtAddressLength);
  settings.bt[kBtAddressLength] = '\0';
  qls_save(settings);
  script_message("Done. Open an audiobook to play.");
}

void device_actions(const BtDevice& device, const std::string& row, bool scanned) {
  const std::array<std::string_view, 3> rows = {scanned ? "Pair and connect" : "Connect",
                                                "Disconnect", "Forget"};
  const std::optional<size_t> action = ui_list_menu(row.data(), row.size(), rows);
  if (!action) return;
  switch (*action) {
    case 0: pair_or_connect(device, row, scanned); break;
    case 1:
      if (!run_with_address("disconnect", device.address, kAsBuilt).ran) script_not_available();
      break;
    case 2:
      if (!ask("Forget this device?", "Forget")) return;
      if (!run_with_address("forget", device.address, kAsBuilt).ran) script_not_available();
      break;
  }
}

// Runs a verb without arguments and tells its outcome.
void run_and_tell(std::string_view verb, const ScriptOutput& output, std::string_view done) {
  if (!script_run(ScriptLine(kScriptBt, verb), output).ran) return script_not_available();
  script_message(done);
}

// Runs the scan or paired verb and lists its devices (`scanned`: offer pairing); a line whose
// address is not one is left out, so nothing but a checked address reaches a command.
void list_devices(std::string_view verb, std::string_view title, bool scanned) {
  const ScriptReply reply = script_run(ScriptLine(kScriptBt, verb), kDeviceList);
  if (!reply.ran) return script_not_available();
  std::vector<BtDevice> devices;
  std::vector<std::string> texts;
  for (const std::string& line : reply.lines) {
    std::optional<BtDevice> device = bt_parse_line(line);
    if (!device) continue;
    texts.push_back(script_text_shown(device->name) + "   (" + device->address + ")");
    devices.push_back(std::move(*device));
  }
  if (devices.empty()) return script_message(kNothingFound);
  const std::vector<std::string_view> rows(texts.begin(), texts.end());
  const std::optional<size_t> chosen = ui_list_menu(title.data(), title.size(), rows);
  if (chosen) device_actions(devices[*chosen], texts[*chosen], scanned);
}
}  // namespace

bool bt_is_address(std::string_view text) {
  if (text.size() != kBtAddressLength) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i % 3 == 2 ? text[i] != ':' : !is_hex(text[i])) return false;
  }
  return true;
}

std::optional<BtDevice> bt_parse_line(std::string_view line) {
  const size_t tab = line.find('\t');
  const std::string_view address = line.substr(0, tab);
  if (!bt_is_address(address)) return std::nullopt;
  if (tab == std::string_view::npos) return BtDevice{std::string(address), std::string(address)};
  const std::string_view rest = line.substr(tab + 1);
  return BtDevice{std::string(address), std::string(rest.substr(0, rest.find('\t')))};
}

std::string bt_allow_device(std::string_view address) {
  if (!bt_is_address(address)) return {};
  const std::string q = quoted_address(address);
  const std::string list(kAllowList);
  return "mkdir -p /mnt/us/ql/state; grep -qx " + q + " " + list + " 2>/dev/null || echo " + q +
         " >>" + list;
}

void bt_menu() {
  for (;;) {
    constexpr std::array<std::string_view, 4> rows = {
        "Scan for headphones / speakers", "Paired headphones", "Reconnect last headphones",
        "Turn Bluetooth off"};
    constexpr std::string_view title = "Bluetooth (headphones only)";
    const std::optional<size_t> chosen = ui_list_menu(title.data(), title.size(), rows);
    if (!chosen) return;
    switch (*chosen) {
      case 0: {
        constexpr std::string_view scanning = "Scanning; nothing pairs until you pick a device...";
        ui_toast(scanning.data(), scanning.size());
        list_devices("scan", "Nearby audio devices", true);
        break;
      }
      case 1: list_devices("paired", "Paired audio devices", false); break;
      case 2:
        run_and_tell("reconnect", kConnectLog, "Reconnect requested (only headphones you picked before)");
        break;
      case 3: run_and_tell("off", kDiscard, "Bluetooth off"); break;
    }
  }
}
