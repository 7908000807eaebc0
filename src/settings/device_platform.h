// What the reading device has and the desktop lacks: a radio, a frontlight, the device scripts,
// storage exported over USB. The settings hub, quick settings and device options list their device
// rows, and the storage wait holds the program for the USB drive, only on the device; the desktop
// lists the rows that work there and recreates a removed data folder instead.
#pragma once

// True when the program runs as on the reading device.
bool device_platform();

// Tests reach every device row and the USB wait through this, the one switch for them; the desktop program never calls it.
void device_platform_for_tests(bool on);

