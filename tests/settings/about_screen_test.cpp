// The About screen: every paragraph fits the device's screen in both orientations, under the
// logo in the middle.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

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

// The ink of the logo (all there is between the header and the text), left and right; {-1, -1}
// when there is none.
std::pair<int, int> logo_ink(const std::vector<uint8_t>& p, int w) {
  int left = -1, right = -1;
  for (int y = 230; y < 400; ++y)
    for (int x = 0; x < w; ++x)
      if (p[size_t(y) * size_t(w) + size_t(x)] < 100) {
        if (left < 0 || x < left) left = x;
        right = std::max(right, x);
      }
  return {left, right};
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
  // The logo stands in the middle.
  const auto [left, right] = logo_ink(pixels("about"), W());
  ASSERT_GE(left, 0) << "the logo";
  EXPECT_NEAR((left + right) / 2, W() / 2, 4);
}

// A landscape screen shows every paragraph too: the logo and the text move up so the last one
// ends above the bottom band, and the logo stays in the middle.
TEST_F(AboutScreen, LandscapeShowsEveryParagraphAboveTheBottom) {
  ql_set_rotation(1);
  ASSERT_LT(H(), W());
  shot("landscape");
  touches_.touch(500, 600);
  about_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  // Nine lines and six gaps end on the baseline H - 80: the last paragraph is there.
  const int lowest = lowest_ink(pixels("landscape"), W(), H());
  EXPECT_GE(lowest, H() - 80 - 30);
  EXPECT_LE(lowest, H() - 80 + 16);
  const auto [left, right] = logo_ink(pixels("landscape"), W());
  ASSERT_GE(left, 0) << "the logo";
  EXPECT_NEAR((left + right) / 2, W() / 2, 4);
}
