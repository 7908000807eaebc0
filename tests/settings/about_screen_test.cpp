// The About screen: every paragraph fits the device's screen, and the paragraphs stop above the
// bottom band of a shorter one.
#include <gtest/gtest.h>

#include "settings/device_options.h"
#include "device_settings_fixture.h"

namespace {
// The lowest row with ink below the logo; -1 when there is none.
int lowest_ink(const std::vector<uint8_t>& p, int w, int h) {
  for (int y = h - 1; y > 400; --y)
    for (int x = 0; x < w; ++x)
      if (p[size_t(y) * size_t(w) + size_t(x)] < 100) return y;
  return -1;
}

class AboutScreen : public DeviceSettingsTest {};
}  // namespace

TEST_F(AboutScreen, ShowsEveryParagraphOnTheDeviceScreen) {
  shot("about");
  touches_.touch(500, 1000);
  about_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  // Ten lines from the baseline 456, 58 px apart, with six 14 px paragraph gaps: the last
  // baseline is at 1062, and nothing is drawn below its descenders.
  const int lowest = lowest_ink(pixels("about"), W(), H());
  EXPECT_GE(lowest, 1062 - 30);
  EXPECT_LE(lowest, 1062 + 16);
  EXPECT_LT(shot_darkest("about", 48, 286, 400, 79), 100);  // the logo
}

TEST_F(AboutScreen, StopsAboveTheBottomOfALandscapeScreen) {
  ql_set_rotation(1);
  ASSERT_LT(H(), W());
  shot("landscape");
  touches_.touch(500, 600);
  about_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  // No paragraph begins below H - 80; the last one begun ends a few lines further down at most.
  const int lowest = lowest_ink(pixels("landscape"), W(), H());
  EXPECT_GT(lowest, 456);
  EXPECT_LE(lowest, H() - 80 + 2 * 58 + 16);
}
