#include "settings/device_options.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/time_zones.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_state.h"
#include "base/system_services.h"
#include "display/device_scripts.h"
#include "display/framebuffer.h"
#include "app/ui/ui_logo.h"
#include "settings/device_platform.h"
#include "settings/device_script_run.h"

namespace {
enum class Option : uint8_t {
  Info = 0,
  Storage = 1,
  TimeZone = 2,
  SleepAfter = 3,
  SleepScreen = 4,
  UsbHelp = 5,
  Restart = 6,
  ShutDown = 7,
  StockSystem = 8,
};

constexpr Option kDeviceRows[] = {Option::Info,       Option::Storage,     Option::TimeZone,
                                  Option::SleepAfter, Option::SleepScreen, Option::UsbHelp,
                                  Option::Restart,    Option::ShutDown,    Option::StockSystem};
constexpr Option kDesktopRows[] = {Option::SleepScreen};

constexpr std::string_view kTitle = "Device options";
constexpr char kInfoFile[] = "/tmp/ql-info.txt";
constexpr size_t kInfoLines = 20;

struct SleepChoice {
  std::string_view label;
  int32_t minutes;
};
constexpr std::array<SleepChoice, 6> kSleepChoices = {{
    {"5 min", 5},
    {"10 min", 10},
    {"15 min", 15},
    {"30 min", 30},
    {"60 min", 60},
    {"Never", 0},
}};

constexpr std::array<std::string_view, 4> kUsbHelp = {
    "Connect a USB cable to your computer.",
    "This device shows up as a drive. Put books in Documents.",
    "Eject it when you are done. New books appear in your library.",
    "To keep reading while it charges, tap the button on the USB screen.",
};

std::string row_text(Option option) {
  switch (option) {
    case Option::Info: return "Device info";
    case Option::Storage: return "Storage";
    case Option::TimeZone:
      return std::string("Time zone: ") + time_zones[ui_state.tz % time_zones.size()].label;
    case Option::SleepAfter:
      // The stored minutes as they are: the "Never" choice stores 0.
      return "Sleep after: " + std::to_string(ui_state.sleep) + " min";
    case Option::SleepScreen:
      return ui_state.cover ? "Sleep screen: Book cover" : "Sleep screen: Clock";
    case Option::UsbHelp: return "USB drive mode";
    case Option::Restart: return "Restart";
    case Option::ShutDown: return "Shut down";
    case Option::StockSystem: return "Restore Amazon system";
  }
  return {};
}

std::optional<size_t> choose(std::string_view title, std::span<const std::string_view> rows) {
  return ui_list_menu(title.data(), title.size(), rows);
}

bool confirm(std::string_view message, std::string_view action) {
  return ui_confirm(message.data(), message.size(), action.data(), action.size());
}

void info_page(std::string_view title, std::span<const std::string_view> lines) {
  ui_info_page(title.data(), title.size(), lines);
}

// The lines the info script writes, read fresh: an earlier run's file never passes for this one.
void device_info() {
  const ScriptReply reply =
      script_run(ScriptLine(kScriptInfo), {ScriptOutput::kAnswer, kInfoFile, kInfoLines});
  if (!reply.ran) return script_not_available();
  const std::vector<std::string> shown = script_lines_shown(reply.lines);
  const std::vector<std::string_view> lines(shown.begin(), shown.end());
  info_page("Device info", lines);
}

// The power lines are no scripts, but the same holds: one that did not run is told so.
void run_power_line(const char* line) {
  if (ql_system(line) < 0) script_not_available();
}

void storage_page() {
  int64_t total_mb = 0, free_mb = 0;
  if (ql_disk("/mnt/us", &total_mb, &free_mb) != 0) return;
  char total[64], free_text[64], items[64];
  snprintf(total, sizeof total, "Total: %.1f GB", double(total_mb) / 1000);
  snprintf(free_text, sizeof free_text, "Free: %.1f GB", double(free_mb) / 1000);
  const size_t count = app_hooks.library_size ? app_hooks.library_size() : 0;
  snprintf(items, sizeof items, "Items in library: %zu", count);
  const std::array<std::string_view, 3> lines = {total, free_text, items};
  info_page("Storage", lines);
}

void choose_time_zone() {
  std::array<std::string_view, time_zones.size()> labels;
  for (size_t i = 0; i < time_zones.size(); ++i) labels[i] = time_zones[i].label;
  const auto chosen = choose("Time zone", labels);
  if (!chosen) return;
  ui_state.tz = uint8_t(*chosen);
  ui_save();
}

void choose_sleep_after() {
  std::array<std::string_view, kSleepChoices.size()> labels;
  for (size_t i = 0; i < kSleepChoices.size(); ++i) labels[i] = kSleepChoices[i].label;
  const auto chosen = choose("Sleep after", labels);
  if (!chosen) return;
  ui_state.sleep = kSleepChoices[*chosen].minutes;
  ui_save();
}

void save_everything() { app_call(app_hooks.persist_all); }

void restart() {
  if (!confirm("Restart this device?", "Restart")) return;
  save_everything();
  run_power_line(kRebootLine);
}

void shut_down() {
  if (!confirm("Shut down this device?", "Shut down")) return;
  save_everything();
  const Framebuffer& fb = ql_fb();
  ql_clear();
  ql_blit(ql_logo(), kLogoWidth, kLogoHeight, (fb.width - kLogoWidth) / 2, fb.height / 2 - 60);
  ui_present(true);
  run_power_line(kPowerOffLine);
}

void restore_stock_system() {
  if (!confirm("Restore Amazon system and reboot? Reversible.", "Restore")) return;
  save_everything();
  // The log goes before the reboot, so the redirection is part of the line as built.
  if (!script_run(ScriptLine(kScriptRevert).raw(" >/mnt/us/ql/revert.log 2>&1; ").raw(kRebootLine),
                  {ScriptOutput::kAsBuilt})
           .ran) {
    script_not_available();
  }
}

void run(Option option) {
  switch (option) {
    case Option::Info: device_info(); break;
    case Option::Storage: storage_page(); break;
    case Option::TimeZone: choose_time_zone(); break;
    case Option::SleepAfter: choose_sleep_after(); break;
    case Option::SleepScreen:
      ui_state.cover = !ui_state.cover;
      ui_save();
      break;
    case Option::UsbHelp: info_page("USB drive mode", kUsbHelp); break;
    case Option::Restart: restart(); break;
    case Option::ShutDown: shut_down(); break;
    case Option::StockSystem: restore_stock_system(); break;
  }
}
}  // namespace

void device_options_menu() {
  const std::span<const Option> options = platform_rows(kDeviceRows, kDesktopRows);
  for (;;) {
    std::vector<std::string> texts;
    for (Option option : options) texts.push_back(row_text(option));
    const std::vector<std::string_view> rows(texts.begin(), texts.end());
    const auto chosen = choose(kTitle, rows);
    if (!chosen) return;
    run(options[*chosen]);
  }
}
