// A temporary folder standing in for the device's /mnt/us and /tmp, with ql/state made, for tests
// of the state files. Resets the process-wide state those files fill.
#pragma once
#include <string>
#include <sys/stat.h>

#include "app/app_state.h"
#include "app/settings_file.h"
#include "app/ui_state.h"
#include "display/paths.h"
#include "support/temp_dir.h"

class DeviceRoot {
 public:
  DeviceRoot() {
    mkdir((dir_ / "us").c_str(), 0755);
    mkdir((dir_ / "tmp").c_str(), 0755);
    mkdir((dir_ / "us/ql").c_str(), 0755);
    mkdir((dir_ / "us/ql/state").c_str(), 0755);
    ql_set_root((dir_ / "us").c_str(), (dir_ / "tmp").c_str());
    unsetenv("QUILLO_STATE");
    reset_state();
  }
  ~DeviceRoot() {
    ql_set_root(nullptr, nullptr);
    reset_state();
  }
  DeviceRoot(const DeviceRoot&) = delete;
  DeviceRoot& operator=(const DeviceRoot&) = delete;

  // The host path of a file in the state folder.
  std::string state(const std::string& name) const { return dir_ / ("us/ql/state/" + name); }
  std::string host(const std::string& rel) const { return dir_ / rel; }

 private:
  static void reset_state() {
    ui_state = UiState{};
    app = AppState{};
    tz_written = 255;
    settings = settings_defaults();
  }
  TempDir dir_;
};
