#include "display/device_facts.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "display/framebuffer.h"
#include "host/plat.h"

namespace {
constexpr const char* kDefaultClassRoot = "/sys/class";

struct HwNodes {
  std::string class_root = kDefaultClassRoot;
  bool scanned = false;
  std::string node[3];  // by HwNode; empty when not found
};
HwNodes hw;  // core thread only

// The first line of a file, at most `cap` - 1 bytes; "" when it cannot be read.
std::string first_line(const std::string& path, size_t cap) {
  FilePtr f{qlp_fopen(path.c_str(), "r")};
  std::string line(cap, '\0');
  if (!f || !fgets(line.data(), static_cast<int>(cap), f.get())) return "";
  line.resize(strcspn(line.c_str(), "\r\n"));
  return line;
}

void scan_nodes() {
  hw.scanned = true;
  const std::string supplies = hw.class_root + "/power_supply";
  if (DirPtr d{qlp_opendir(supplies.c_str())}) {
    while (dirent* e = readdir(d.get())) {
      if (e->d_name[0] == '.') continue;
      const std::string node = supplies + "/" + e->d_name;
      const bool battery = first_line(node + "/type", 64).starts_with("Battery");
      std::string& slot = hw.node[battery ? HW_BATTERY : HW_AC];
      if (slot.empty()) slot = node;
    }
  }
  const std::string lights = hw.class_root + "/backlight";
  if (DirPtr d{qlp_opendir(lights.c_str())}) {
    while (dirent* e = readdir(d.get())) {
      if (e->d_name[0] == '.') continue;
      hw.node[HW_BACKLIGHT] = lights + "/" + e->d_name;
      break;
    }
  }
}
}  // namespace

FilePtr hw_open(HwNode node, const char* file) {
  if (!hw.scanned) scan_nodes();
  const std::string& dir = hw.node[node];
  if (dir.empty() || !file) return nullptr;
  return FilePtr{qlp_fopen((dir + "/" + file).c_str(), "r")};
}

void hw_set_class_root(const char* root) {
  hw = HwNodes{};
  if (root) hw.class_root = root;
}

int64_t ql_now() { return static_cast<int64_t>(time(nullptr)); }

int ql_battery() { return ql_headless() ? 100 : plat_battery(); }

int ql_charging() {
  if (!ql_headless()) return plat_charging();
  FilePtr f = hw_open(HW_BATTERY, "status");
  char line[32];
  if (!f || !fgets(line, sizeof line, f.get())) return 0;
  return strncmp(line, "Charging", 8) == 0 || strncmp(line, "Full", 4) == 0;
}

int ql_frontlight_set(int level) {
  if (!ql_headless()) plat_light(level);
  return 1;
}

int ql_frontlight_lipc(int level) { return ql_frontlight_set(std::clamp(level, 0, kFrontlightMax)); }

int ql_system_t(const char* cmd, int secs) { return plat_run(cmd, secs); }
int ql_system(const char* cmd) { return ql_system_t(cmd, kQlSystemSecs); }

void ql_import() { plat_import(); }
int ql_system_dark() { return plat_system_dark(); }
