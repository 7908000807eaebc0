// In-process tests of the settings hub and its pages: the screen fixture's frame and scripted
// touches, taps by list index (turning pages first), and frames taken while a screen waits (also
// written as PNGs to $QL_TEST_SHOTS when set, to be looked at).
#pragma once
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "host/host_queue.h"
#include "settings/settings_pages.h"
#include "support/temp_dir.h"
#include "support/ui_screen_fixture.h"

class SettingsScreen : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    host_set_test_dark(0);
  }
  void TearDown() override {
    settings_list_every_row(false);
    host_set_test_dark(-1);
    ScreenTest::TearDown();
  }

  static int row_y(int slot) {
    return kListTop + slot * kListMenuRowHeight + kListMenuRowHeight / 2;
  }
  // Taps row `index` of the list on screen, which opens on its first page.
  void pick(size_t index) {
    const size_t per_page = size_t((H() - kListReservedH) / kListMenuRowHeight);
    for (size_t p = 0; p < index / per_page; ++p) touches_.touch(W() * 3 / 4, H() - 40);
    touches_.touch(500, row_y(int(index % per_page)));
  }
  // Taps the hub's row for `row` as the hub lists it now.
  void open(SettingsRow row) {
    const std::vector<SettingsListedRow> rows = settings_listed_rows();
    for (size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].row == row) return pick(i);
    }
    ADD_FAILURE() << "row " << int(row) << " is not listed";
  }
  void back() { touches_.touch(60, 160); }

  // Takes the frame the screen shows when it next waits.
  void shot(const std::string& name) {
    touches_.at_wait([this, name] {
      const uint8_t* p = ql_fb().pixels;
      shots_[name] = std::vector<uint8_t>(p, p + size_t(W()) * size_t(H()));
      if (const char* dir = getenv("QL_TEST_SHOTS")) {
        ql_png((std::string(dir) + "/" + name + ".png").c_str());
      }
    });
  }
  uint8_t shot_darkest(const std::string& name, int x, int y, int w, int h) const {
    const std::vector<uint8_t>& p = shots_.at(name);
    uint8_t d = 255;
    for (int r = y; r < y + h; ++r)
      for (int c = x; c < x + w; ++c) d = std::min(d, p[size_t(r) * size_t(W()) + size_t(c)]);
    return d;
  }
  bool has_shot(const std::string& name) const { return shots_.count(name) > 0; }
  // The lowest pixel row of a shot with ink on it (below the header).
  int shot_lowest_ink(const std::string& name) const {
    for (int y = H() - 1; y > kListTop; --y) {
      if (shot_darkest(name, 0, y, W(), 1) < 128) return y;
    }
    return 0;
  }
  // Whether the row is shown: ink in the label's band of a list slot.
  bool shot_has_row(const std::string& name, int slot) const {
    return shot_darkest(name, 48, row_y(slot) - 40, 600, 60) < 100;
  }

  std::string ui_txt() const {
    const std::string path = root_.state("ui.txt");
    return file_exists(path) ? read_file(path) : "";
  }
  bool ui_txt_has(const std::string& line) const {
    return ui_txt().find("\n" + line + "\n") != std::string::npos ||
           ui_txt().starts_with(line + "\n");
  }

  std::map<std::string, std::vector<uint8_t>> shots_;
};
