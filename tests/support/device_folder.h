// A temporary folder standing in for the device's /mnt/us and /tmp, with ql/state made, behind the
// path remapping.
#pragma once
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "base/paths.h"
#include "support/temp_dir.h"

class DeviceFolder {
 public:
  DeviceFolder() {
    mkdir((dir_ / "us").c_str(), 0755);
    mkdir((dir_ / "tmp").c_str(), 0755);
    mkdir((dir_ / "us/ql").c_str(), 0755);
    mkdir((dir_ / "us/ql/state").c_str(), 0755);
    ql_set_root((dir_ / "us").c_str(), (dir_ / "tmp").c_str());
    unsetenv("QUILLO_STATE");
  }
  ~DeviceFolder() { ql_set_root(nullptr, nullptr); }
  DeviceFolder(const DeviceFolder&) = delete;
  DeviceFolder& operator=(const DeviceFolder&) = delete;

  // The host path of a file in the state folder.
  std::string state(const std::string& name) const { return dir_ / ("us/ql/state/" + name); }
  std::string host(const std::string& rel) const { return dir_ / rel; }

 private:
  TempDir dir_;
};
