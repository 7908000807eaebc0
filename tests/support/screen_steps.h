// Steps of in-process screen tests on the portrait frame: taps on list rows, the back arrow and the
// confirmation's buttons, typing on the keyboard, frames taken while a screen waits (also written
// as PNGs to $QL_TEST_SHOTS when set, to be looked at), toasts recognised in them, and QR codes
// read back. Screen fixtures inherit it beside ScreenTest, handing it their scripted touches.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/ui/ui_confirm.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "display/framebuffer.h"
#include "support/audio_fixtures.h"
#include "support/keyboard_touch.h"
#include "support/scripted_touch.h"

// What zbarimg reads from the QR code of a PNG ("" when nothing), without its closing line feed.
inline std::string decode_qr(const std::string& png) {
  std::string text = capture_command("zbarimg --raw -q '" + png + "' 2>/dev/null");
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

class ScreenSteps {
 public:
  explicit ScreenSteps(ScriptedTouch& touches) : step_touches_(touches) {}

  // The middle of a list row's slot on the first page.
  static int row_y(int slot) { return kListTop + slot * kListMenuRowHeight + kListMenuRowHeight / 2; }
  void tap_row(int slot) { step_touches_.touch(500, row_y(slot)); }
  void tap_back() { step_touches_.touch(kBackTapX, kBackTapY); }
  void tap_confirm_action() {
    const ConfirmGeometry g = confirm_geometry(ql_fb().width, ql_fb().height);
    step_touches_.touch(ql_fb().width - 150, g.cy + 140);
  }
  void tap_confirm_cancel() {
    const ConfirmGeometry g = confirm_geometry(ql_fb().width, ql_fb().height);
    step_touches_.touch(150, g.cy + 140);
  }
  void tap_key(std::string_view label) { press(step_touches_, label, ql_fb().width, ql_fb().height); }
  // Presses the keys for `text` (lower-case letters, digits, signs; ' ' is Space).
  void type_keys(std::string_view text) {
    for (const char& c : text) tap_key(c == ' ' ? "Space" : std::string_view(&c, 1));
  }
  // The same, then Done.
  void type(std::string_view text) {
    type_keys(text);
    tap_key("Done");
  }

  // Takes the frame the screen shows when it next waits.
  void shot(const std::string& name) {
    step_touches_.at_wait([this, name] {
      shots_[name] = screen_pixels();
      if (const char* dir = getenv("QL_TEST_SHOTS")) {
        ql_png((std::string(dir) + "/" + name + ".png").c_str());
      }
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
  // Whether a list shot shows a row in the slot: ink in its label's band.
  bool shot_has_row(const std::string& name, int slot) const {
    return shot_darkest(name, 48, row_y(slot) - 40, 600, 60) < 100;
  }

  // True when `frame` shows the toast (or message box) of exactly `text`, drawn again to compare;
  // the screen is left as it was.
  static bool frame_shows_toast(const std::vector<uint8_t>& frame, std::string_view text) {
    const std::vector<uint8_t> keep = screen_pixels();
    const int w = ql_fb().width, h = ql_fb().height;
    const int top = ui_toast_top(text.data(), text.size());
    ql_clear();
    ui_toast(text.data(), text.size());
    bool same = true;
    for (int y = top; same && y < h - 70; ++y)
      for (int x = 40; same && x < w - 40; ++x)
        same = frame[size_t(y) * size_t(w) + size_t(x)] == ql_fb().pixels[size_t(y) * size_t(w) + size_t(x)];
    std::copy(keep.begin(), keep.end(), ql_fb().pixels);
    return same;
  }
  bool shot_shows_toast(const std::string& name, std::string_view text) const {
    return has_shot(name) && frame_shows_toast(pixels(name), text);
  }
  static bool screen_shows_toast(std::string_view text) {
    return frame_shows_toast(screen_pixels(), text);
  }

  // What zbarimg reads from the QR code of the frame the screen shows when it next waits; the
  // frame goes to `png`.
  void read_qr_at_wait(std::string& text, const std::string& png) {
    step_touches_.at_wait([&text, png] {
      ql_png(png.c_str());
      text = decode_qr(png);
    });
  }

 private:
  static std::vector<uint8_t> screen_pixels() {
    const Framebuffer& fb = ql_fb();
    return std::vector<uint8_t>(fb.pixels, fb.pixels + size_t(fb.width) * size_t(fb.height));
  }

  ScriptedTouch& step_touches_;
  std::map<std::string, std::vector<uint8_t>> shots_;
};
