// The frontlight panel: the slider's steps against the bar it draws, where taps land, and the
// level and dark mode written at once and read back unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/frontlight_panel.h"
#include "device_settings_fixture.h"

TEST(FrontlightSlider, ReleasePointsGiveTheNearestStep) {
  const FrontlightGeometry g = frontlight_geometry(true, 1072);
  struct Case {
    int x2;
    int level;
  } cases[] = {
      {140, 0},    // the slider's left end
      {932, 24},   // its right end
      {536, 12},   // its middle
      {606, 14},   // 466 of 792 px: 14.1 steps
      {156, 0},    // just under half a step
      {157, 1},    // just over it
      {0, 0},      // left of the slider
      {1071, 24},  // right of it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x2);
    EXPECT_EQ(frontlight_slider_level(g, c.x2), c.level);
  }
}

TEST(FrontlightSlider, TheEndOfEveryDrawnLevelSelectsThatLevel) {
  for (int width : {1072, 1448, 600}) {
    for (bool full : {true, false}) {
      const FrontlightGeometry g = frontlight_geometry(full, width);
      for (int level = 0; level <= 24; ++level) {
        SCOPED_TRACE(std::to_string(width) + " level " + std::to_string(level));
        EXPECT_EQ(frontlight_slider_level(g, g.slider_x + frontlight_fill_width(g, level)), level);
      }
      EXPECT_EQ(frontlight_fill_width(g, 24), g.slider_width);
      EXPECT_EQ(frontlight_fill_width(g, 0), 0);
    }
  }
}

TEST(FrontlightSlider, TapsFallOnTheBandTheyHit) {
  struct Case {
    const char* name;
    bool full;
    int x, y;
    FrontlightTap tap;
  } cases[] = {
      {"overlay: above the band", false, 500, 365, FrontlightTap::Close},
      {"overlay: below the band", false, 500, 697, FrontlightTap::Close},
      {"overlay: the band's last row, dark line", false, 100, 696, FrontlightTap::ToggleDark},
      {"overlay: last slider row", false, 100, 575, FrontlightTap::Lower},
      {"overlay: first dark-line row", false, 100, 576, FrontlightTap::ToggleDark},
      {"overlay: Done", false, 853, 600, FrontlightTap::Close},
      {"overlay: left of Done", false, 852, 600, FrontlightTap::ToggleDark},
      {"minus", false, 139, 500, FrontlightTap::Lower},
      {"slider left end", false, 140, 500, FrontlightTap::Slide},
      {"slider right end", false, 932, 500, FrontlightTap::Slide},
      {"plus", false, 933, 500, FrontlightTap::Raise},
      {"full: the header", true, 500, 225, FrontlightTap::Close},
      {"full: between header and band", true, 500, 226, FrontlightTap::Ignore},
      {"full: below the band", true, 500, 577, FrontlightTap::Ignore},
      {"full: the band's top row", true, 10, 246, FrontlightTap::Lower},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(frontlight_hit(frontlight_geometry(c.full, 1072), c.x, c.y), c.tap);
  }
}

namespace {
class FrontlightPanel : public DeviceSettingsTest {
 protected:
  void tap_minus(const FrontlightGeometry& g) { touches_.touch(72, g.slider_top + 20); }
  void tap_plus(const FrontlightGeometry& g) { touches_.touch(W() - 72, g.slider_top + 20); }
};
}  // namespace

TEST_F(FrontlightPanel, PlusAndMinusStopAtTheEndsAndEachStepIsSaved) {
  const FrontlightGeometry g = frontlight_geometry(true, W());
  settings.light = 23;
  for (int i = 0; i < 3; ++i) tap_plus(g);
  shot("full");
  touches_.at_wait([] { EXPECT_EQ(reload_settings().light, 24); });
  touches_.at_wait([] { settings.light = 1; });  // as if it had been 1 all along
  for (int i = 0; i < 2; ++i) tap_minus(g);
  touches_.at_wait([] { EXPECT_EQ(reload_settings().light, 0); });
  tap_back();
  frontlight_panel(true);
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(levels_, (std::vector<int>{24, 24, 24, 0, 0}));
  EXPECT_EQ(settings.light, 0);
  // At 24 the whole slider is filled.
  EXPECT_EQ(shot_darkest("full", g.slider_x + g.slider_width - 6, g.slider_top + 10, 4, 20), 0);
}

TEST_F(FrontlightPanel, ASlideSetsTheLevelItsReleaseShows) {
  const FrontlightGeometry g = frontlight_geometry(true, W());
  touches_.touch(300, g.slider_top + 20, 40, 606, g.slider_top + 20);
  shot("slid");
  touches_.touch(W() - 100, g.dark_line_top + 40);  // Done
  frontlight_panel(true);
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(settings.light, 14);
  EXPECT_EQ(reload_settings().light, 14);
  EXPECT_EQ(levels_, std::vector<int>{14});
  const int end = g.slider_x + frontlight_fill_width(g, 14);
  EXPECT_EQ(shot_darkest("slid", end - 4, g.slider_top + 10, 3, 20), 0);
  EXPECT_EQ(shot_darkest("slid", end + 2, g.slider_top + 10, 3, 20), 255);
  EXPECT_EQ(reload_ui().ui.appearance, UiState{}.appearance);  // Done changed nothing else
}

TEST_F(FrontlightPanel, OverlayDarkLineTogglesDarkModeAndCloses) {
  const FrontlightGeometry g = frontlight_geometry(false, W());
  ql_clear();
  touches_.touch(100, g.dark_line_top + 40);
  frontlight_panel(false);
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(app.present.inverted);
  EXPECT_EQ(ui_state.appearance, 2);
  EXPECT_FALSE(app.present.clean);
  const LoadedUi dark = reload_ui();
  EXPECT_EQ(dark.ui.appearance, 2);
  EXPECT_TRUE(dark.night);

  // From dark, the same line turns it to Light.
  touches_.touch(100, g.dark_line_top + 40);
  frontlight_panel(false);
  EXPECT_FALSE(app.present.inverted);
  const LoadedUi light = reload_ui();
  EXPECT_EQ(light.ui.appearance, 1);
  EXPECT_FALSE(light.night);
  EXPECT_TRUE(levels_.empty());
}

TEST_F(FrontlightPanel, OverlayClosesOnATapOutsideFullScreenOnlyOnTheHeader) {
  touches_.touch(500, 1200);
  frontlight_panel(false);
  EXPECT_TRUE(ScriptedTouch::done());

  touches_.touch(500, 1200);  // ignored
  touches_.touch(500, 230);   // ignored
  shot("still-up");
  tap_back();
  frontlight_panel(true);
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(has_shot("still-up"));
  EXPECT_TRUE(levels_.empty());
  EXPECT_FALSE(file_exists(root_.state("settings.txt")));
}

TEST_F(FrontlightPanel, OverlayIsABandOverThePage) {
  const FrontlightGeometry g = frontlight_geometry(false, W());
  ql_clear();
  ql_rect(0, 0, W(), H(), 128);  // the page behind
  shot("band");
  touches_.touch(500, 1200);
  frontlight_panel(false);
  EXPECT_EQ(shot_darkest("band", 0, g.top - 10, W(), 10), 128);         // page above
  EXPECT_EQ(shot_darkest("band", 300, g.top + 2, 400, 40), 255);        // white band
  EXPECT_EQ(shot_darkest("band", 0, g.band_bottom - 2, W(), 2), 0);     // closing rule
  EXPECT_EQ(shot_darkest("band", 0, g.band_bottom + 2, W(), 10), 128);  // page below
}
