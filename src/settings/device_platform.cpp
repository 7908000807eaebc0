#include "settings/device_platform.h"

namespace {
bool device_rows = false;  // core thread only
}  // namespace

bool device_platform() { return device_rows; }

void device_platform_for_tests(bool on) { device_rows = on; }
