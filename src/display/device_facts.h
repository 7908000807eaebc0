// What the program knows of the machine: the clock, the battery, the frontlight, and the power and
// backlight nodes under /sys/class that headless runs read directly.
#pragma once
#include <cstdint>

#include "display/paths.h"

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

// The device nodes, found on first use: the first power supply whose "type" begins "Battery", the
// first other power supply (mains), the first backlight.
enum HwNode { HW_BATTERY, HW_AC, HW_BACKLIGHT };
// Opens `file` inside the node for reading; null when the node does not exist.
FilePtr hw_open(HwNode node, const char* file);
// Moves the device class folder (default "/sys/class"; NULL restores it) and forgets the nodes
// found, so the next hw_open looks again.
void hw_set_class_root(const char* root);
