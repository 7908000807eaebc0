#include "settings/settings_pages.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "app/ui/app_hooks.h"
#include "app/ui/ui_state.h"
#include "display/device_facts.h"
#include "settings/bug_report.h"
#include "settings/device_options.h"
#include "settings/device_platform.h"
#include "settings/device_services.h"
#include "settings/settings_page_parts.h"
#include "store/free_titles.h"
#include "store/store_orders.h"

namespace {
constexpr std::array<std::string_view, kSettingsRowCount> kRowTexts = {
    "Free books and audiobooks",
    "Add books from this device",
    "Appearance: ",  // followed by the appearance, built on each pass
    "Wi-Fi networks",
    "Bluetooth (headphones)",
    "Device options",
    "Reading options",
    "Vocabulary",
    "Backup & restore",
    "Send books over Wi-Fi",
    "Language & dictionaries",
    "Feed and wake time",
    "Payments & orders",
    "Audiobooks",
    "Report a bug",
    "About Corvell Nalo",
};
constexpr std::array<std::string_view, 3> kAppearanceNames = {"System", "Light", "Dark"};

// The desktop has no Wi-Fi, Bluetooth or device scripts to drive, no morning wake-up, and the store
// is not reached from here.
constexpr std::array kDesktopHidden = {
    SettingsRow::WifiNetworks, SettingsRow::Bluetooth,   SettingsRow::DeviceOptions,
    SettingsRow::Backup,       SettingsRow::SendBooks,   SettingsRow::FeedAndWake,
    SettingsRow::PaymentsOrders,
};

bool is_listed(SettingsRow row) {
  return device_platform() ||
         std::find(kDesktopHidden.begin(), kDesktopHidden.end(), row) == kDesktopHidden.end();
}

std::string row_text(SettingsRow row) {
  std::string text(kRowTexts[size_t(row)]);
  if (row == SettingsRow::Appearance) {
    text += kAppearanceNames[std::min<size_t>(ui_state.appearance, kAppearanceNames.size() - 1)];
  }
  return text;
}

// Runs the row's page; false when the hub must close (a bought book was shown from the orders).
bool open_row(SettingsRow row) {
  switch (row) {
    case SettingsRow::FreeBooks: free_books_screen(); break;
    case SettingsRow::AddBooks: ql_import(); break;
    case SettingsRow::Appearance: appearance_page(); break;
    case SettingsRow::WifiNetworks: wifi_page(); break;
    case SettingsRow::Bluetooth: bt_menu(); break;
    case SettingsRow::DeviceOptions: device_options_menu(); break;
    case SettingsRow::ReadingOptions: reading_defaults_page(); break;
    case SettingsRow::Vocabulary: vocabulary_page(); break;
    case SettingsRow::Backup: backup_page(); break;
    case SettingsRow::SendBooks: send_books_screen(); break;
    case SettingsRow::Language: language_page(); break;
    case SettingsRow::FeedAndWake: app_call(app_hooks.morning_settings); break;
    case SettingsRow::PaymentsOrders:
      store_orders_screen();
      if (store_purchase_shown) {
        store_purchase_shown = false;
        return false;
      }
      break;
    case SettingsRow::Audiobooks: audiobooks_page(); break;
    case SettingsRow::ReportBug: bug_report_screen(); break;
    case SettingsRow::About: about_screen(); break;
  }
  return true;
}
}  // namespace

std::vector<SettingsListedRow> settings_listed_rows() {
  std::vector<SettingsListedRow> rows;
  for (int n = 0; n < kSettingsRowCount; ++n) {
    const SettingsRow row = static_cast<SettingsRow>(n);
    if (is_listed(row)) rows.push_back({row_text(row), row});
  }
  return rows;
}

void settings_pages() {
  for (;;) {
    const std::vector<SettingsListedRow> rows = settings_listed_rows();
    std::vector<std::string> texts;
    for (const SettingsListedRow& r : rows) texts.push_back(r.text);
    const std::optional<size_t> chosen = settings_choose("Settings", texts);
    if (!chosen || !open_row(rows[*chosen].row)) return;
  }
}
