// What the program knows of the machine and asks of it: the clock, the battery, the frontlight, the
// power and backlight nodes under /sys/class that headless runs read directly, and the host's shell
// runner, file chooser and appearance.
#pragma once
#include <cstdint>

#include "base/paths.h"

// Seconds since the epoch.
int64_t ql_now();

// Battery percent: 100 in headless mode, else the host's answer (-1: not known).
int ql_battery();
// 1 while charging or full: the host's answer in window mode; headless, the battery node's
// "status" file ("Charging" or "Full").
int ql_charging();
// Sets the frontlight level (the host's light; nothing in headless mode). Always 1.
int ql_frontlight_set(int level);
// The same with the level clamped to 0..24 first.
int ql_frontlight_lipc(int level);
constexpr int kFrontlightMax = 24;

// Hands a shell command line to the host's runner with a time-out in seconds; the host's answer
// (the desktop runs nothing and answers -1). ql_system uses the 900-second time-out.
int ql_system_t(const char* cmd, int secs);
int ql_system(const char* cmd);
constexpr int kQlSystemSecs = 900;

// The host's file chooser and its dark-appearance flag.
void ql_import();
int ql_system_dark();

// The device nodes, found on first use: the first power supply whose "type" begins "Battery", the
// first other power supply (mains), the first backlight.
enum HwNode { HW_BATTERY, HW_AC, HW_BACKLIGHT };
// Opens `file` inside the node for reading; null when the node does not exist.
FilePtr hw_open(HwNode node, const char* file);
// Moves the device class folder (default "/sys/class"; NULL restores it) and forgets the nodes
// found, so the next hw_open looks again.
void hw_set_class_root(const char* root);
