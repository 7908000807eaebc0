// Steps of in-process screen tests on the portrait frame: taps on list rows, the back arrow and the
// confirmation's buttons, typing on the keyboard, and frames taken while a screen waits (also
// written as PNGs to $QL_TEST_SHOTS when set, to be looked at).
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/ui/ui_confirm.h"
#include "app/ui/ui_list_menu.h"
#include "display/framebuffer.h"
#include "support/keyboard_touch.h"
#include "support/scripted_touch.h"

class ScreenSteps {
 public:
  explicit ScreenSteps(ScriptedTouch& touches) : touches_(touches) {}

  // The middle of a list row's slot on the first page.
  static int row_y(int slot) { return 226 + slot * kListMenuRowHeight + kListMenuRowHeight / 2; }
  void tap_row(int slot) { touches_.touch(500, row_y(slot)); }
  void tap_back() { touches_.touch(60, 160); }
  void tap_confirm_action() {
    const ConfirmGeometry g = confirm_geometry(ql_fb().width, ql_fb().height);
    touches_.touch(ql_fb().width - 150, g.cy + 140);
  }
  void tap_confirm_cancel() {
    const ConfirmGeometry g = confirm_geometry(ql_fb().width, ql_fb().height);
    touches_.touch(150, g.cy + 140);
  }
  // Presses the keys for `text` (lower-case letters and digits), then Done.
  void type(const std::string& text) {
    for (char c : text) press(touches_, std::string(1, c), ql_fb().width, ql_fb().height);
    press(touches_, "Done", ql_fb().width, ql_fb().height);
  }

  // Takes the frame the screen shows when it next waits.
  void shot(const std::string& name) {
    touches_.at_wait([this, name] {
      const Framebuffer& fb = ql_fb();
      shots_[name] = std::vector<uint8_t>(fb.pixels, fb.pixels + size_t(fb.width) * size_t(fb.height));
      if (const char* dir = getenv("QL_TEST_SHOTS")) ql_png((std::string(dir) + "/" + name + ".png").c_str());
    });
  }
  bool has_shot(const std::string& name) const { return shots_.count(name) > 0; }
  const std::vector<uint8_t>& pixels(const std::string& name) const { return shots_.at(name); }
  // The darkest pixel of a rectangle of a shot (255 for blank paper).
  uint8_t shot_darkest(const std::string& name, int x, int y, int w, int h) const {
    const std::vector<uint8_t>& p = shots_.at(name);
    uint8_t d = 255;
    for (int r = y; r < y + h; ++r)
      for (int c = x; c < x + w; ++c) d = std::min(d, p[size_t(r) * size_t(ql_fb().width) + size_t(c)]);
    return d;
  }

 private:
  ScriptedTouch& touches_;
  std::map<std::string, std::vector<uint8_t>> shots_;
};
