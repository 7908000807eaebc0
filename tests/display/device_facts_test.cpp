#include "display/device_facts.h"

#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "display/framebuffer.h"
#include "host/services.h"
#include "support/temp_dir.h"

namespace {
// Runs a test in window or headless mode, recording the levels handed to the host's light.
class DeviceMode {
 public:
  explicit DeviceMode(int headless) {
    EXPECT_EQ(ql_init(headless), 1);
    plat_set_light([this](int level) { levels.push_back(level); });
  }
  ~DeviceMode() {
    plat_set_light(nullptr);
    hw_set_class_root(nullptr);
    ql_close();
  }
  std::vector<int> levels;
};

// A fake /sys/class: power supplies with their "type" (and optional "status"), one backlight.
void add_supply(const TempDir& root, const std::string& name, const char* type, const char* status) {
  const std::string dir = root / ("power_supply/" + name);
  mkdir((root / "power_supply").c_str(), 0755);
  mkdir(dir.c_str(), 0755);
  if (type) write_file(dir + "/type", type);
  if (status) write_file(dir + "/status", status);
}
}  // namespace

TEST(DeviceFacts, ClockIsTheSystemClock) {
  const int64_t before = time(nullptr);
  const int64_t now = ql_now();
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 2);
}

TEST(DeviceFacts, FrontlightIsClampedAndHandedToTheHost) {
  DeviceMode window(0);
  for (int level : {30, -3, 0, 24, 12}) EXPECT_EQ(ql_frontlight_lipc(level), 1);
  EXPECT_EQ(ql_frontlight_set(7), 1);
  EXPECT_EQ(window.levels, (std::vector<int>{24, 0, 0, 24, 12, 7}));
}

TEST(DeviceFacts, WindowModeAsksTheHost) {
  DeviceMode window(0);
  EXPECT_EQ(ql_battery(), -1);
  TempDir root;
  add_supply(root, "battery", "Battery\n", "Charging\n");
  hw_set_class_root(root.path().c_str());
  EXPECT_EQ(ql_charging(), 0);  // the desktop host's answer, not the node's
}

TEST(DeviceFacts, HeadlessModeReadsTheBatteryNode) {
  DeviceMode headless(1);
  EXPECT_EQ(ql_battery(), 100);
  EXPECT_EQ(ql_frontlight_lipc(10), 1);
  EXPECT_TRUE(headless.levels.empty());

  struct { const char* status; int charging; } cases[] = {
      {"Charging\n", 1}, {"Full\n", 1}, {"Full", 1}, {"Discharging\n", 0}, {"Not charging\n", 0},
      {"", 0}, {"charging\n", 0}, {nullptr, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.status ? c.status : "(no status file)");
    TempDir root;
    add_supply(root, "ac", "Mains\n", "Charging\n");
    add_supply(root, "bat0", "Battery\n", c.status);
    hw_set_class_root(root.path().c_str());
    EXPECT_EQ(ql_charging(), c.charging);
  }
}

TEST(DeviceFacts, NodesFoundByType) {
  DeviceMode headless(1);
  TempDir root;
  add_supply(root, "usb", "USB\n", "Unknown\n");
  add_supply(root, ".hidden", "Battery\n", "Charging\n");
  add_supply(root, "max77696-battery", "Battery", "Full\n");
  mkdir((root / "backlight").c_str(), 0755);
  mkdir((root / "backlight/.x").c_str(), 0755);
  mkdir((root / "backlight/max77696-bl").c_str(), 0755);
  write_file(root / "backlight/max77696-bl/brightness", "12\n");
  hw_set_class_root(root.path().c_str());

  EXPECT_EQ(ql_charging(), 1);
  FilePtr ac = hw_open(HW_AC, "status");
  ASSERT_TRUE(ac);
  char line[32] = {};
  ASSERT_TRUE(fgets(line, sizeof line, ac.get()));
  EXPECT_STREQ(line, "Unknown\n");
  FilePtr light = hw_open(HW_BACKLIGHT, "brightness");
  ASSERT_TRUE(light);
  EXPECT_FALSE(hw_open(HW_BATTERY, "missing-file"));
}

TEST(DeviceFacts, NoNodesOnAMachineWithoutThem) {
  DeviceMode headless(1);
  TempDir root;  // no power_supply, no backlight
  hw_set_class_root(root.path().c_str());
  EXPECT_EQ(ql_charging(), 0);
  EXPECT_FALSE(hw_open(HW_BATTERY, "status"));
  EXPECT_FALSE(hw_open(HW_AC, "online"));
  EXPECT_FALSE(hw_open(HW_BACKLIGHT, "brightness"));
  // Nodes are looked for once: a supply appearing later is not seen until the root is set again.
  add_supply(root, "bat", "Battery\n", "Full\n");
  EXPECT_EQ(ql_charging(), 0);
  hw_set_class_root(root.path().c_str());
  EXPECT_EQ(ql_charging(), 1);
}
