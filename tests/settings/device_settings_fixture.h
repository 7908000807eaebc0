// In-process tests of the settings screens: the screen fixture's frame and scripted touches, a
// documents folder, a recording shell runner (nothing is ever run) and frontlight, shots taken
// while a screen waits (also written to $QL_TEST_SHOTS when set), and the state files read back as
// a restart would read them.
#pragma once
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <utility>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_state.h"
#include "display/fonts.h"
#include "host/services.h"
#include "settings/device_platform.h"
#include "support/temp_dir.h"
#include "support/ui_screen_fixture.h"

class DeviceSettingsScreen : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    mkdir(root_.host("us/documents").c_str(), 0755);
    plat_set_runner([this](const char* cmd, int) {
      commands_.push_back(cmd);
      return on_command_ ? on_command_(cmd) : answer_;
    });
    plat_set_light([this](int level) { levels_.push_back(level); });
  }
  void TearDown() override {
    plat_set_runner(nullptr);
    plat_set_light(nullptr);
    device_platform_for_tests(false);
    ScreenTest::TearDown();
  }

  // The middle of a list row's slot on the shown page.
  static int row_y(int slot) {
    return kListTop + slot * kListMenuRowHeight + kListMenuRowHeight / 2;
  }
  void tap_row(int slot) { touches_.touch(500, row_y(slot)); }
  void tap_back() { touches_.touch(60, 160); }
  void tap_next_page() { touches_.touch(W() - 100, H() - 40); }
  void tap_confirm_action() { touches_.touch(W() - 150, confirm_geometry(W(), H()).cy + 140); }
  void tap_confirm_cancel() { touches_.touch(150, confirm_geometry(W(), H()).cy + 140); }

  void shot(const std::string& name) {
    touches_.at_wait([this, name] {
      shots_[name] =
          std::vector<uint8_t>(ql_fb().pixels, ql_fb().pixels + size_t(W()) * size_t(H()));
      if (const char* dir = getenv("QL_TEST_SHOTS"))
        ql_png((std::string(dir) + "/" + name + ".png").c_str());
    });
  }
  uint8_t shot_darkest(const std::string& name, int x, int y, int w, int h) const {
    const std::vector<uint8_t>& p = shots_.at(name);
    uint8_t d = 255;
    for (int r = y; r < y + h; ++r)
      for (int c = x; c < x + w; ++c) d = std::min(d, p[size_t(r) * size_t(W()) + size_t(c)]);
    return d;
  }
  // The leftmost and rightmost columns with ink (< 100) in a rectangle of a shot; -1 when blank.
  std::pair<int, int> ink_columns(const std::string& name, int x, int y, int w, int h) const {
    const std::vector<uint8_t>& p = shots_.at(name);
    int left = -1, right = -1;
    for (int r = y; r < y + h; ++r)
      for (int c = x; c < x + w; ++c)
        if (p[size_t(r) * size_t(W()) + size_t(c)] < 100) {
          if (left < 0 || c < left) left = c;
          right = std::max(right, c);
        }
    return {left, right};
  }
  // True when a one-line message box in the shot holds `text` (its line ends where the text does).
  bool toast_says(const std::string& shot_name, const char* text) const {
    // Inside the box's frame (x 40 to W - 40), around the line's baseline at H - 114.
    const int right = ink_columns(shot_name, 50, H() - 160, W() - 100, 60).second;
    const int expected = 72 + int(ql_measure(text, TS_UI, 54));
    return right >= expected - 4 && right <= expected + 4;
  }
  // True when the list shot shows a row in the slot (its label's band has ink).
  bool row_shown(const std::string& shot_name, int slot) const {
    return shot_darkest(shot_name, 48, row_y(slot) - 40, 600, 60) < 100;
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
    return file_exists(root_.state("tz.txt")) ? read_file(root_.state("tz.txt")) : "";
  }
  std::string docs() const { return root_.host("us/documents"); }

  int answer_ = -1;  // the desktop runner's answer: nothing ran
  std::function<int(const std::string&)> on_command_;
  std::vector<std::string> commands_;
  std::vector<int> levels_;
  std::map<std::string, std::vector<uint8_t>> shots_;
};
