// The reader's touch zones, the toolbar's geometry and texts, the selection popup's buttons, and
// the main loop's dispatch of early turns, their undoing and the layout generation.
#include <gtest/gtest.h>

#include <string>

#include "shell/main_loop.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_select.h"
#include "app/reader/reader_taps.h"
#include "app/reader/reader_toolbar.h"
#include "app/reader/reader_words.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_state.h"
#include "support/ui_screen_fixture.h"

namespace {
constexpr int kW = 1072;
constexpr int kH = 1448;

TapEvent touch(int x, int y, uint32_t held = 40, int x2 = -1, int y2 = -1, int32_t code = TAP_TOUCH) {
  return TapEvent{uint32_t(x), uint32_t(y), uint32_t(x2 < 0 ? x : x2), uint32_t(y2 < 0 ? y : y2), held, code};
}
}  // namespace

TEST(ReaderTouchKind, ZonesTimesAndTravel) {
  struct Case {
    const char* name;
    TapEvent e;
    ReaderTouch want;
  };
  const Case cases[] = {
      {"held 449 ms is short", touch(600, 800, 449), ReaderTouch::LinkOrTurn},
      {"held 450 ms selects", touch(600, 800, 450), ReaderTouch::Hold},
      {"a long touch in the footer strip still selects", touch(100, kH - 10, 900), ReaderTouch::Hold},
      {"footer strip, left third", touch(100, kH - 69), ReaderTouch::FooterMode},
      {"footer strip ends at its top", touch(100, kH - 70), ReaderTouch::LinkOrTurn},
      {"footer strip, right of the left third", touch(kW / 3, kH - 10), ReaderTouch::LinkOrTurn},
      {"bookmark corner", touch(kW - 129, 129), ReaderTouch::Bookmark},
      {"left of the corner is the top band", touch(kW - 130, 50), ReaderTouch::Toolbar},
      {"under the corner, still in the top band", touch(kW - 50, 130), ReaderTouch::Toolbar},
      {"below the top band", touch(kW - 50, kH / 10), ReaderTouch::LinkOrTurn},
      {"top band", touch(500, kH / 10 - 1), ReaderTouch::Toolbar},
      {"150 px across is no swipe", touch(700, 800, 40, 550, 800), ReaderTouch::LinkOrTurn},
      {"151 px to the left turns forward", touch(700, 800, 40, 549, 800), ReaderTouch::SwipeForward},
      {"151 px to the right turns back", touch(500, 800, 40, 651, 800), ReaderTouch::SwipeBack},
      {"steeper than wide is no swipe", touch(700, 600, 40, 500, 900), ReaderTouch::LinkOrTurn},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(reader_touch_kind(c.e, kW, kH), c.want);
  }
  EXPECT_FALSE(reader_zone_forward(kW / 4 - 1, kW));
  EXPECT_TRUE(reader_zone_forward(kW / 4, kW));
}

TEST(ReaderEarlyZone, NeverCoversTheBookmarkCorner) {
  struct Case {
    const char* name;
    int w, h;
    int top;
  };
  const Case cases[] = {
      {"portrait: the top tenth lies below the corner", 1072, 1448, 144},
      {"landscape: starts below the corner, not at the top tenth", 1448, 1072, 130},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const EarlyZone z = reader_early_zone(c.w, c.h);
    EXPECT_EQ(z.edge, c.w / 4);
    EXPECT_EQ(z.top, c.top);
    EXPECT_EQ(z.bottom, c.h - 70);
    // Every row of the corner stays out of the zone, so a touch there is a completed touch.
    EXPECT_GT(z.top, 129);
  }
}

TEST(ReaderToolbar, BandsColumnsAndSlider) {
  struct Band {
    int y;
    ToolbarTap want;
  };
  const Band bands[] = {{0, ToolbarTap::QuickSettings},  {87, ToolbarTap::QuickSettings},
                        {88, ToolbarTap::Column},        {199, ToolbarTap::Column},
                        {200, ToolbarTap::ProgressLine}, {255, ToolbarTap::ProgressLine},
                        {256, ToolbarTap::Slider},       {305, ToolbarTap::Slider},
                        {306, ToolbarTap::Leave},        {1400, ToolbarTap::Leave}};
  for (const Band& b : bands) {
    SCOPED_TRACE(b.y);
    EXPECT_EQ(toolbar_hit(b.y), b.want);
  }
  EXPECT_EQ(toolbar_column(0, kW), 0);
  EXPECT_EQ(toolbar_column(kW / 6, kW), 1);
  EXPECT_EQ(toolbar_column(kW - 1, kW), 5);
  EXPECT_EQ(toolbar_column(5000, kW), 5);

  struct Slide {
    const char* name;
    int x;
    uint64_t total;
    uint64_t want;
  };
  const Slide slides[] = {
      {"one page keeps page 0", 900, 1, 0},     {"no pages", 900, 0, 0},
      {"left end", 48, 100, 0},                 {"left of the bar", 0, 100, 0},
      {"right end", kW - 48, 100, 99},          {"beyond the right end", kW, 100, 99},
      {"middle", 48 + (kW - 96) / 2, 101, 50},
  };
  for (const Slide& s : slides) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(toolbar_slider_page(s.x, kW, s.total), s.want);
  }
  EXPECT_EQ(toolbar_knob_offset(0, kW, 1), 0);
  EXPECT_EQ(toolbar_knob_offset(99, kW, 100), kW - 96);
}

TEST(ReaderToolbar, ProgressText) {
  EXPECT_EQ(toolbar_progress_text(0, 1, false, 0), "100%   \xc2\xb7   Page 1 of 1");
  EXPECT_EQ(toolbar_progress_text(0, 3, false, 0), "33%   \xc2\xb7   Page 1 of 3");
  EXPECT_EQ(toolbar_progress_text(4, 27, true, 0), "18%   \xc2\xb7   Page 5 of 27   \xc2\xb7   back to 1");
  EXPECT_EQ(toolbar_progress_text(0, 0, false, 0), "") << "no book open";
}

TEST(SelectionPopup, PlacementAndButtons) {
  EXPECT_EQ(selection_popup(kW, kH, kH / 2).top, kH - 360);
  EXPECT_EQ(selection_popup(kW, kH, kH / 2 + 1).top, 120);
  // The low popup ends where the footer's band (the bottom 70 rows) begins, in both orientations.
  for (auto [w, h] : {std::pair{kW, kH}, {kH, kW}}) {
    EXPECT_EQ(selection_popup(w, h, 100).top + kSelectionPopupHeight, h - 70) << w << "x" << h;
  }
  const SelectionPopup p = selection_popup(kW, kH, 300);
  const int b = p.button_width;
  EXPECT_EQ(b, (kW - 120) / 5);
  struct Case {
    const char* name;
    int x, y;
    bool next;
    PopupTap want;
  };
  const int top = p.top;
  const Case cases[] = {
      {"title band, right, with a next page", kW - 299, top + 50, true, PopupTap::NextPage},
      {"title band, right, on the last page", kW - 299, top + 50, false, PopupTap::Close},
      {"title band, left", 200, top, true, PopupTap::Close},
      {"Highlight", 60, top + 110, false, PopupTap::Highlight},
      {"Note", 60 + b, top + 200, false, PopupTap::Note},
      {"Dictionary", 60 + 2 * b, top + 280, false, PopupTap::Dictionary},
      {"Search", 60 + 3 * b + b - 1, top + 200, false, PopupTap::Search},
      {"Cancel", 60 + 4 * b, top + 200, false, PopupTap::Close},
      {"left of the buttons", 59, top + 200, false, PopupTap::Close},
      {"below the buttons", 300, top + 281, false, PopupTap::None},
      {"above the popup", 300, top - 1, false, PopupTap::None},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(popup_hit(p, kW, c.x, c.y, c.next), c.want);
  }
}

TEST(FormatQuoted, FitsOrIsEmpty) {
  char buf[8];
  EXPECT_EQ(format_quoted(buf, sizeof buf, "abcde"), "\"abcde\"");
  EXPECT_EQ(std::string(buf), "\"abcde\"");
  EXPECT_EQ(format_quoted(buf, sizeof buf, "abcdef"), "");  // no room for the closing quote and NUL
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(format_quoted(buf, sizeof buf, ""), "\"\"");
}

// The dispatch on a laid-out stand-in of five empty pages.
class ReaderDispatch : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    layout.lines.clear();
    layout.page_starts = {0, 0, 0, 0, 0};
    app.view = AppView::Reader;
    app.reader.book_open = true;
    app.reader.page = 2;
    app.reader.page_turns = 0;
    app.present.clean = true;
    ui_state.refresh = 12;
  }
  void TearDown() override {
    layout.page_starts.clear();
    app.reader.book_open = false;
    app.view = AppView::Library;
    app.reader.page = 0;
    ScreenTest::TearDown();
  }
};

TEST_F(ReaderDispatch, EarlyTurnKeepsTheGenerationAndAHoldUndoesIt) {
  const uint32_t gen = layout.generation;
  main_loop_dispatch(touch(1000, 800, 0, -1, -1, TAP_EARLY));
  EXPECT_EQ(app.reader.page, 3u);
  EXPECT_EQ(app.reader.page_turns, 1u);
  EXPECT_TRUE(app.reader.early_pending);
  EXPECT_EQ(layout.generation, gen) << "the pre-rendered pages must stay usable";
  // The touch became a hold: the page and the turn count are as before the touch.
  main_loop_dispatch(touch(1000, 800, 600, -1, -1, TAP_EARLY_CANCEL));
  EXPECT_EQ(app.reader.page, 2u);
  EXPECT_EQ(app.reader.page_turns, 0u);
  EXPECT_FALSE(app.reader.early_pending);
  EXPECT_NE(layout.generation, gen);
}

TEST_F(ReaderDispatch, PageTurnsKeepSlotsAndOtherEventsMakeThemStale) {
  uint32_t gen = layout.generation;
  main_loop_dispatch(touch(600, 800));  // a plain tap turns forward
  EXPECT_EQ(app.reader.page, 3u);
  EXPECT_EQ(layout.generation, gen);
  main_loop_dispatch(touch(100, 800));  // left quarter: back
  EXPECT_EQ(app.reader.page, 2u);
  EXPECT_EQ(layout.generation, gen);
  main_loop_dispatch(touch(100, kH - 10));  // footer strip: not a page change
  EXPECT_NE(layout.generation, gen);
  gen = layout.generation;
  main_loop_dispatch(touch(0, 0, 0, -1, -1, TAP_REDRAW));
  EXPECT_NE(layout.generation, gen);
  ui_state.foot = 0;
}

TEST_F(ReaderDispatch, EveryTwelfthTurnIsAFullRefreshAndTheLastPageStillCounts) {
  app.reader.page = 4;
  for (int i = 1; i <= 24; ++i) {
    SCOPED_TRACE(i);
    app.present.clean = true;
    reader_turn_page(true);
    EXPECT_EQ(app.reader.page, 4u);  // the last page: the page stays, the turn counts
    EXPECT_EQ(app.present.clean, i % 12 != 0);
    EXPECT_TRUE(app.reader.position_dirty);
  }
  ui_state.refresh = 0;
  app.present.clean = true;
  for (int i = 0; i < 24; ++i) reader_turn_page(false);
  EXPECT_TRUE(app.present.clean);
  EXPECT_EQ(app.reader.page, 0u);
}
