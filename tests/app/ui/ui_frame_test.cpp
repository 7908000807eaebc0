// The screen frame: clock and time-zone offset, status text, title sizes, the header's pixels, the
// toast box and the information page; the present step and its screenshot countdown.
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/ui/ui_frame.h"
#include "app/ui/ui_logo.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "display/fonts.h"
#include "support/ui_screen_fixture.h"

namespace {

TEST(Clock, HoursWithoutLeadingZeroAndTheOffset) {
  struct Case {
    const char* name;
    int64_t utc;
    int32_t offset_min;
    const char* text;
  };
  const int64_t day = 20000LL * 86400;
  const Case cases[] = {
      {"five past midnight", day + 5 * 60, 0, "0:05"},
      {"twenty to two in the afternoon", day + 13 * 3600 + 40 * 60, 0, "13:40"},
      {"west of UTC across midnight", day + 30 * 60, -90, "23:00"},
      {"east of UTC", day + 23 * 3600, 120, "1:00"},
      {"before the epoch", -60, 0, "23:59"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(clock_text_at(c.utc, c.offset_min), c.text);
  }
}

TEST(Clock, OffsetParsing) {
  struct Case {
    const char* text;
    int32_t minutes;
  };
  const Case cases[] = {
      {nullptr, 0}, {"", 0},     {"-90", -90},       {"+120", 120},        {"1_0", 10},
      {"abc", 0},   {"60m", 0}, {"_60", 0},         {"99999999999", 0},   {"-2147483648", INT32_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(unset)");
    EXPECT_EQ(parse_tz_minutes(c.text), c.minutes);
  }
}

using Frame = ScreenTest;

TEST_F(Frame, StatusTextWithBatteryWifiAndClock) {
  // The display is not headless here, so the host's battery (none on this machine) decides.
  app.wifi_state = 1;
  EXPECT_EQ(ui_status_text(), clock_text());  // no battery reading: the clock alone
}

TEST_F(Frame, TitleSizes) {
  EXPECT_EQ(ui_title_size("Settings", 902), 92);
  const std::string long_title(200, 'W');
  EXPECT_EQ(ui_title_size(long_title.c_str(), 902), 48);
  const std::string mid = "A title of middling length for a header";
  const int size = ui_title_size(mid.c_str(), 902);
  EXPECT_LE(ql_measure(mid.c_str(), TS_REGULAR, float(size)), 902);
  if (size < 92) {
    EXPECT_GT(ql_measure(mid.c_str(), TS_REGULAR, float(size + 2)), 902);
  }
}

TEST_F(Frame, HeaderPixels) {
  ql_rect(0, 0, W(), H(), 0);  // the header clears whatever was there
  ui_draw_header("Storage");
  EXPECT_EQ(px(32, 225), 150);          // the rule under the title
  EXPECT_EQ(px(W() - 33, 225), 150);
  EXPECT_EQ(px(31, 225), 255);
  EXPECT_EQ(px(500, 88), 150);          // the status bar's rule
  EXPECT_LT(px(60, 168), 64);           // the arrow's shaft
  EXPECT_LT(darkest(116, 130, 300, 80), 64);  // the title
  EXPECT_EQ(darkest(0, 240, W(), H() - 240), 255);
  EXPECT_LT(darkest(32, 34, 269, 34), 128);  // the logo
}

// The pictures the build embeds are the wordmark as the display draws it, the large one first.
TEST(Logo, TheBuiltInPicturesAreTheDrawnOnes) {
  std::vector<uint8_t> logo(size_t(kLogoWidth) * kLogoHeight), small(size_t(kSmallLogoWidth) * kSmallLogoHeight);
  logo_draw(logo.data(), small.data());
  EXPECT_TRUE(std::equal(logo.begin(), logo.end(), ql_logo()));
  EXPECT_TRUE(std::equal(small.begin(), small.end(), ql_small_logo()));
}

// A title that fits at no size (a long word looked up in the dictionary) is cut to the header's
// width, as every header is.
TEST_F(Frame, TitleThatFitsNoSizeIsCutToTheHeader) {
  const std::string long_title(80, 'w');
  ql_clear();
  ui_draw_header(long_title.c_str());
  EXPECT_LT(darkest(116, 130, W() - 170, 90), 64);         // the title
  EXPECT_EQ(darkest(W() - 53, 100, 53, 120), 255);         // nothing past its width
}

TEST_F(Frame, ToastBoxGrowsUpwardsFromAFixedBottom) {
  const std::string short_text = "Saved";
  EXPECT_EQ(ui_toast_top(short_text.data(), short_text.size()), H() - 190);
  std::string long_text;
  for (int i = 0; i < 40; ++i) long_text += "many words ";
  const int top = ui_toast_top(long_text.data(), long_text.size());
  EXPECT_LT(top, H() - 190);
  EXPECT_EQ((H() - 134 - top) % 56, 0);  // a whole number of 56-pixel lines
  ql_clear();
  ui_toast(long_text.data(), long_text.size());
  EXPECT_EQ(px(40, top), 0);              // the frame's corner
  EXPECT_EQ(px(40, H() - 71), 0);         // its bottom edge
  EXPECT_EQ(px(40, H() - 70), 255);
  EXPECT_EQ(px(500, top - 1), 255);
  EXPECT_LT(darkest(72, top + 20, W() - 144, 60), 128);  // the first line
}

TEST_F(Frame, OneLineToastIsDrawnAndPresentedWithoutWaiting) {
  ql_clear();
  ui_toast("Saved", 5);
  EXPECT_EQ(px(40, H() - 190), 0);
  EXPECT_EQ(px(100, H() - 150), 255);
  EXPECT_LT(darkest(72, H() - 160, 300, 60), 128);
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(Frame, InfoPageDrawsParagraphsAndClosesOnAnyEvent) {
  const std::string_view lines[] = {"Total: 7.8 GB", "Free: 3.1 GB", "Items in library: 12"};
  touches_.event(HOST_APPEARANCE);
  ui_info_page("Storage", 7, lines);
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(app.present.waveform, 4u);
  EXPECT_LT(darkest(48, 260, 400, 50), 128);          // first paragraph at 298
  EXPECT_LT(darkest(48, 260 + 72, 400, 50), 128);     // then 58 + 14 lower
  EXPECT_EQ(darkest(48, 260 + 3 * 72 + 20, 400, 50), 255);
}

TEST_F(Frame, PresentFollowsTheAppearance) {
  struct Case {
    uint8_t appearance;
    bool inverted;
  };
  for (const Case c : {Case{1, false}, Case{2, true}}) {
    ui_state.appearance = c.appearance;
    ui_present(false);
    EXPECT_EQ(app.present.inverted, c.inverted);
  }
}

TEST_F(Frame, ScreenshotCountdownWritesThePngAtItsLastFrame) {
  const std::string png = root_.host("frame.png");
  app.screenshot.on = true;
  app.screenshot.png = png.c_str();
  app.screenshot.frames = 3;
  ui_present(false);
  ui_present(true);
  EXPECT_EQ(app.screenshot.frames, 1u);
  EXPECT_FALSE(file_exists(png));
  EXPECT_EXIT(ui_present(false), testing::ExitedWithCode(0), "");
  EXPECT_EQ(read_file(png).substr(1, 3), "PNG");
  // A PNG that cannot be written still ends the mode as drawn.
  app.screenshot.png = "/nonexistent-folder/x.png";
  EXPECT_EXIT(ui_present(false), testing::ExitedWithCode(0), "");
}

}  // namespace
