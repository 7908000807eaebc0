#include "settings/device_platform.h"

#include <string_view>

#include "app/ui/ui_message.h"
#include "display/device_facts.h"

namespace {
constexpr std::string_view kNotAvailable = "Not available on this device.";
constexpr int kNotAvailableMs = 2000;

bool device_rows = false;  // core thread only
}  // namespace

bool device_platform() { return device_rows; }

void device_platform_for_tests(bool on) { device_rows = on; }

bool device_command_ran(const char* line) {
  if (ql_system(line) >= 0) return true;
  ui_toast_wait(kNotAvailable.data(), kNotAvailable.size(), kNotAvailableMs);
  return false;
}
