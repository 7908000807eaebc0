// The reading and device settings kept in settings.txt.
#pragma once
#include <cstdint>

struct SettingsRecord {
  int32_t font = 56;     // reading text size in pixels
  int32_t margin = 64;   // left and right page margin in pixels
  int32_t line = 108;    // line spacing in percent of the text size
  int32_t light = 12;    // frontlight level
  int32_t wake_hour = 11;
  int32_t wake_min = 30;
  char opds[512] = {};     // Morning Paper feed link
  char morning[512] = {};  // direct link of the morning edition
  char bt[64] = {};        // Bluetooth headphone address
  int32_t speed = 100;     // audiobook speed in percent
  int32_t sleeptimer = 0;  // audiobook sleep timer in minutes, 0 off
};

// The ranges the screens keep the values in; a loaded value outside its range reads as the default.
struct SettingRange {
  int32_t min;
  int32_t max;
};
// 28 is the smallest default size the settings offer; the reader's panel steps from 32 up to 110.
constexpr SettingRange kFontRange{28, 110};
constexpr SettingRange kMarginRange{24, 144};
constexpr SettingRange kLineRange{92, 180};
constexpr SettingRange kLightRange{0, 24};
constexpr SettingRange kWakeHourRange{0, 23};
constexpr SettingRange kWakeMinRange{0, 59};
constexpr SettingRange kSpeedRange{75, 300};
constexpr SettingRange kSleepTimerRange{0, 90};

// The process-wide settings.
// Only the core thread touches it (see app_assert_core).
extern SettingsRecord settings;

// The defaults with the default feed link.
SettingsRecord settings_defaults();

// Defaults, then settings.txt from the state folder ($QUILLO_STATE, else /mnt/us/ql/state);
// a missing file leaves the defaults.
void qls_load(SettingsRecord& r);
// Creates the state folder and replaces settings.txt atomically; false keeps the old file.
bool qls_save(const SettingsRecord& r);
