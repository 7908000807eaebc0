// In-process tests of the settings hub and its pages: the screen fixture's frame, scripted touches
// and screen steps, and taps by list index (turning pages first).
#pragma once
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "host/host_queue.h"
#include "settings/device_platform.h"
#include "settings/settings_pages.h"
#include "support/screen_steps.h"
#include "support/temp_dir.h"
#include "support/ui_screen_fixture.h"

class SettingsScreen : public ScreenTest, public ScreenSteps {
 protected:
  SettingsScreen() : ScreenSteps(touches_) {}
  void SetUp() override {
    ScreenTest::SetUp();
    host_set_test_dark(0);
  }
  void TearDown() override {
    device_platform_for_tests(false);
    host_set_test_dark(-1);
    ScreenTest::TearDown();
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

  // The lowest pixel row of a shot with ink on it (below the header).
  int shot_lowest_ink(const std::string& name) const {
    for (int y = H() - 1; y > kListTop; --y) {
      if (shot_darkest(name, 0, y, W(), 1) < 128) return y;
    }
    return 0;
  }
  std::string ui_txt() const {
    const std::string path = root_.state("ui.txt");
    return file_exists(path) ? read_file(path) : "";
  }
  bool ui_txt_has(const std::string& line) const {
    return ui_txt().find("\n" + line + "\n") != std::string::npos ||
           ui_txt().starts_with(line + "\n");
  }
};
