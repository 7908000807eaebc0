// Bluetooth headphones (the menu is bt_menu in device_services.h): the checks and lines behind the
// device list that pairs, connects, disconnects and forgets, and the allow-list of devices the user picked (read by the script's
// reconnect). Only an address of the form XX:XX:XX:XX:XX:XX ever reaches a command line; a device
// name, which any nearby device advertises as it likes, never does.
#pragma once
#include <optional>
#include <string>
#include <string_view>

constexpr size_t kBtAddressLength = 17;

// True for exactly 17 bytes: six pairs of hexadecimal digits joined by colons.
bool bt_is_address(std::string_view text);

// One line of the scan or paired list: the address before the first TAB, the name up to the next
// TAB (a line without a TAB is both). None when the address is not one.
struct BtDevice {
  std::string address;
  std::string name;
};
std::optional<BtDevice> bt_parse_line(std::string_view line);

// The shell line that adds an address to the allow-list unless it is there; empty for anything
// that is not an address.
std::string bt_allow_device(std::string_view address);
