// In-process screen tests of the downloads side: the frame and scripted touches of the screen
// fixture, a data folder with documents, the local download server, and screenshots taken while a
// screen waits (also written as PNGs to $QL_TEST_SHOTS when set, to be looked at).
#pragma once
#include <cstdlib>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/ui/ui_confirm.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_menu.h"
#include "support/ui_screen_fixture.h"
#include "download_server.h"
#include "host/plat.h"
#include "store/download_manager.h"

class StoreScreen : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    mkdir(docs().c_str(), 0755);
    setenv("QUILLO_DOCS", "/mnt/us/documents", 1);
  }
  void TearDown() override {
    ql_dl_cancel();
    eventually([] { return !running(); });
    ql_dl_ack();
    unsetenv("QUILLO_DOCS");
    ScreenTest::TearDown();
  }
  static bool running() {
    const DownloadState s = ql_dl_state(nullptr, nullptr);
    return s == DL_DOWNLOADING || s == DL_UNPACKING;
  }
  std::string docs() const { return root_.host("us/documents"); }
  std::string doc(const std::string& name) const { return docs() + "/" + name; }

  // The middle of a list row's slot on the first page.
  static int row_y(int slot) { return 226 + slot * kListMenuRowHeight + kListMenuRowHeight / 2; }
  static constexpr int kBackX = 60;
  static constexpr int kBackY = 160;
  void tap_row(int slot) { touches_.touch(500, row_y(slot)); }
  void tap_back() { touches_.touch(kBackX, kBackY); }
  void tap_confirm_action() {
    const ConfirmGeometry g = confirm_geometry(W(), H());
    touches_.touch(W() - 150, g.cy + 140);
  }
  void tap_confirm_cancel() {
    const ConfirmGeometry g = confirm_geometry(W(), H());
    touches_.touch(150, g.cy + 140);
  }
  // Taps the keyboard's keys for `text` (lower-case letters and digits), then Done.
  void type(const std::string& text) {
    for (char c : text) tap_key(std::string(1, c));
    tap_key("Done");
  }
  void tap_key(const std::string& label) {
    for (int y = H() - kKeyboardHeight + 10; y < H(); y += 20) {
      for (int x = 5; x < W(); x += 10) {
        if (keyboard_key_at(x, y, W(), H()) == label) {
          touches_.touch(x, y);
          return;
        }
      }
    }
    ADD_FAILURE() << "no key " << label;
  }
  // Takes the frame the screen shows when it next waits.
  void shot(const std::string& name) {
    touches_.at_wait([this, name] {
      shots_[name] = std::vector<uint8_t>(ql_fb().pixels, ql_fb().pixels + size_t(W()) * size_t(H()));
      if (const char* dir = getenv("QL_TEST_SHOTS")) ql_png((std::string(dir) + "/" + name + ".png").c_str());
    });
  }
  // The darkest pixel of a rectangle of a shot (255 for blank paper).
  uint8_t shot_darkest(const std::string& name, int x, int y, int w, int h) const {
    const std::vector<uint8_t>& p = shots_.at(name);
    uint8_t d = 255;
    for (int r = y; r < y + h; ++r)
      for (int c = x; c < x + w; ++c) d = std::min(d, p[size_t(r) * size_t(W()) + size_t(c)]);
    return d;
  }
  bool has_shot(const std::string& name) const { return shots_.count(name) > 0; }

  std::map<std::string, std::vector<uint8_t>> shots_;
};
