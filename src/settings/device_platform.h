// What the reading device has and the desktop lacks: a radio, a frontlight, the device scripts,
// storage exported over USB. The settings hub, quick settings and device options list their device
// rows, and the storage wait holds the program for the USB drive, only on the device; the desktop
// lists the rows that work there and recreates a removed data folder instead.
#pragma once
#include <cstddef>
#include <span>

// True when the program runs as on the reading device.
bool device_platform();

// The rows a page lists on this platform: the device's table, or the desktop's.
template <class Row, size_t DeviceCount, size_t DesktopCount>
std::span<const Row> platform_rows(const Row (&device)[DeviceCount],
                                   const Row (&desktop)[DesktopCount]) {
  return device_platform() ? std::span<const Row>(device) : std::span<const Row>(desktop);
}

// Tests reach every device row and the USB wait through this, the one switch for them; the desktop program never calls it.
void device_platform_for_tests(bool on);

