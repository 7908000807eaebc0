// In-process tests of quick settings, the frontlight panel, device options, USB and About: the
// device pages' fixture (scripted touches, screen steps, fake scripts) with a documents folder, a
// recording frontlight, and the state files read back as a restart would read them.
#pragma once
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_state.h"
#include "device_pages_fixture.h"
#include "settings/device_platform.h"

class DeviceSettingsTest : public DevicePagesTest {
 protected:
  void SetUp() override {
    DevicePagesTest::SetUp();
    mkdir(docs().c_str(), 0755);
    plat_set_light([this](int level) { levels_.push_back(level); });
  }
  void TearDown() override {
    plat_set_light(nullptr);
    device_platform_for_tests(false);
    DevicePagesTest::TearDown();
  }

  void tap_next_page() { touches_.touch(W() - 100, H() - 40); }
  // A row of a device list of more than a page: seven rows to a page.
  void tap_device_row(int row) {
    if (row >= kRowsPerPage) tap_next_page();
    tap_row(row % kRowsPerPage);
  }
  static constexpr int kRowsPerPage = 7;
  void dismiss_message() { touches_.touch(500, 1000); }

  // The leftmost and rightmost columns with ink (< 100) in a rectangle of a shot; -1 when blank.
  std::pair<int, int> ink_columns(const std::string& shot, int x, int y, int w, int h) const {
    const std::vector<uint8_t>& p = pixels(shot);
    int left = -1, right = -1;
    for (int r = y; r < y + h; ++r)
      for (int c = x; c < x + w; ++c)
        if (p[size_t(r) * size_t(W()) + size_t(c)] < 100) {
          if (left < 0 || c < left) left = c;
          right = std::max(right, c);
        }
    return {left, right};
  }
  // ui.txt as a restart loads it (with its dark flag), the live values left alone.
  struct LoadedUi {
    UiState ui;
    bool night = false;
  };
  LoadedUi reload_ui() const {
    const UiState live = ui_state;
    const bool live_night = app.present.inverted;
    ui_state = UiState{};
    app.present.inverted = false;
    ui_state_load();
    LoadedUi loaded{ui_state, app.present.inverted};
    ui_state = live;
    app.present.inverted = live_night;
    return loaded;
  }
  static SettingsRecord reload_settings() {
    SettingsRecord r;
    qls_load(r);
    return r;
  }
  std::string tz_file() const {
    return file_exists(state("tz.txt")) ? read_file(state("tz.txt")) : "";
  }
  std::string docs() const { return root_.host("us/documents"); }

  std::vector<int> levels_;  // every level handed to the frontlight
};
