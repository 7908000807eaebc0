// The all-settings screen ("Settings"), reached from the quick settings, the library menu and the
// book menu.
#pragma once
#include <string>
#include <vector>

// Runs until back.
void settings_pages();

// The hub's fixed rows; the numbers never change, whichever rows a platform lists.
enum class SettingsRow : int {
  FreeBooks = 0,
  AddBooks,
  Appearance,
  WifiNetworks,
  Bluetooth,
  DeviceOptions,
  ReadingOptions,
  Vocabulary,
  Backup,
  SendBooks,
  Language,
  FeedAndWake,
  PaymentsOrders,
  Audiobooks,
  ReportBug,
  About,
};
constexpr int kSettingsRowCount = 16;

// One listed row: its text as shown and its fixed row.
struct SettingsListedRow {
  std::string text;
  SettingsRow row;
};
// The rows the hub lists now, in table order: the desktop leaves the device's out
// (see device_platform).
std::vector<SettingsListedRow> settings_listed_rows();
