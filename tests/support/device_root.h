// The device folder for tests of the state files, resetting the process-wide state those files
// fill before and after.
#pragma once
#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_state.h"
#include "support/device_folder.h"

class DeviceRoot : public DeviceFolder {
 public:
  DeviceRoot() { reset_state(); }
  ~DeviceRoot() { reset_state(); }

 private:
  static void reset_state() {
    ui_state = UiState{};
    app = AppState{};
    tz_written = 255;
    settings = settings_defaults();
  }
};
