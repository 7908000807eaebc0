// The confirmation box: its tap bands and how each answer is reached.
#include <gtest/gtest.h>
#include <string>

#include "app/ui/ui_confirm.h"
#include "support/ui_screen_fixture.h"

namespace {

TEST(ConfirmGeometry, BandsOnAPortraitScreen) {
  const ConfirmGeometry g = confirm_geometry(1072, 1448);
  EXPECT_EQ(g.button_width, 432);
  EXPECT_EQ(g.cy, 724);
  struct Case {
    const char* name;
    int x, y;
    ConfirmTap tap;
  };
  const Case cases[] = {
      {"action side of the band", 536, 724 + 140, ConfirmTap::Action},
      {"cancel side of the band", 535, 724 + 140, ConfirmTap::Cancel},
      {"band, far right beside the buttons", 1071, 724 + 100, ConfirmTap::Action},
      {"band, far left", 0, 724 + 100, ConfirmTap::Cancel},
      {"band's top edge is outside it", 600, 724 + 70, ConfirmTap::Ignore},
      {"band's bottom edge is outside it", 600, 724 + 210, ConfirmTap::Ignore},
      {"inside the box above the buttons", 600, 724, ConfirmTap::Ignore},
      {"above the box", 600, 724 - 241, ConfirmTap::Cancel},
      {"the box's top edge", 600, 724 - 240, ConfirmTap::Ignore},
      {"below the box", 600, 724 + 241, ConfirmTap::Cancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(confirm_hit(g, c.x, c.y), c.tap);
  }
}

using Confirm = ScreenTest;

bool ask() {
  const std::string message = "Delete this book?";
  return ui_confirm(message.data(), message.size(), "Delete", 6);
}

TEST_F(Confirm, AnswersAndWhatLeadsToThem) {
  const int band_y = H() / 2 + 140;
  struct Case {
    const char* name;
    void (*script)(ScriptedTouch&, int band_y);
    bool answer;
  };
  const Case cases[] = {
      {"action", [](ScriptedTouch& t, int y) { t.touch(800, y); }, true},
      {"cancel", [](ScriptedTouch& t, int y) { t.touch(300, y); }, false},
      {"inside the box is ignored, then action",
       [](ScriptedTouch& t, int y) {
         t.touch(600, y - 300);
         t.touch(800, y);
       },
       true},
      {"a drag off the action button", [](ScriptedTouch& t, int y) { t.touch(800, y, 200, 800, y - 400); },
       false},
      {"a redraw event", [](ScriptedTouch& t, int) { t.event(HOST_APPEARANCE); }, false},
      {"the back key", [](ScriptedTouch& t, int) { t.event(HOST_DEVICE_EVENT_2); }, false},
      {"outside the box", [](ScriptedTouch& t, int) { t.touch(600, 100); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.script(touches_, band_y);
    EXPECT_EQ(ask(), c.answer);
    EXPECT_TRUE(ScriptedTouch::done());
  }
}

TEST_F(Confirm, DrawnOverTheScreenBehind) {
  ql_rect(0, 0, W(), H(), 100);
  touches_.touch(300, H() / 2 + 140);
  ask();
  EXPECT_EQ(px(20, 20), 100);                 // not cleared behind the box
  EXPECT_EQ(px(48, H() / 2 - 240), 0);        // the box's outline
  EXPECT_EQ(px(100, H() / 2 - 200), 255);     // its white inside
  EXPECT_LT(darkest(88, H() / 2 - 200, 500, 70), 128);  // the message
}

}  // namespace
