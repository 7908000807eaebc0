// The frame, fonts and a fresh device folder for in-process screen tests, with touches scripted.
// ScreenFrameTest is the frame alone, for fixtures that bring a folder of their own.
#pragma once
#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>

#include "shell/app_connect.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_state.h"
#include "display/framebuffer.h"
#include "host/host_queue.h"
#include "support/device_root.h"
#include "support/scripted_touch.h"

class ScreenFrameTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    GTEST_FLAG_SET(death_test_style, "fast");  // the child writes into this test's folder
  }
  void SetUp() override {
    ql_set_rotation(0);
    // Other suites in this program set up a headless frame, or presented a landscape one that
    // the host now reports as the screen: start from the portrait screen with touches.
    if (!ql_fb().pixels || ql_headless() || W() != kDefaultFrameW || H() != kDefaultFrameH) {
      host_reset();
      ASSERT_EQ(ql_init(0), 1);
    }
    ui_state.appearance = 1;  // light: the frame never follows the machine's theme in a test
    app_connect_hooks();      // quit saves everything, books added rescan the library
  }
  void TearDown() override { ql_set_rotation(0); }

  static int W() { return ql_fb().width; }
  static int H() { return ql_fb().height; }
  static uint8_t px(int x, int y) { return ql_fb().pixels[size_t(y) * size_t(W()) + size_t(x)]; }
  // The darkest pixel of a rectangle (255 when it is blank paper).
  static uint8_t darkest(int x, int y, int w, int h) {
    uint8_t d = 255;
    for (int r = y; r < y + h; ++r)
      for (int c = x; c < x + w; ++c) d = std::min(d, px(c, r));
    return d;
  }
};

class ScreenTest : public ScreenFrameTest {
 protected:
  DeviceRoot root_;
  ScriptedTouch touches_;
};
