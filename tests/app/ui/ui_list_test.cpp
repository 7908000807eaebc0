// The paged list: geometry and hit testing shared by the list screens, the pager label, row texts
// on value-and-chevron pages, and the list menu driven by touches.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "display/fonts.h"
#include "support/ui_screen_fixture.h"

namespace {

constexpr int kPortraitW = 1072, kPortraitH = 1448;

// The middle of a page's row slot.
int slot_y(int slot, int row_height = kListMenuRowHeight) {
  return kListTop + slot * row_height + row_height / 2;
}

TEST(ListGeometry, RowsPerPageAndPageCounts) {
  struct Case {
    const char* name;
    uint64_t rows, page;
    int row_height, screen_h;
    int per_page;
    uint64_t pages, shown_page, first, shown;
  };
  const Case cases[] = {
      {"nine menu rows, portrait", 9, 0, 140, 1448, 7, 2, 0, 0, 7},
      {"their second page", 9, 1, 140, 1448, 7, 2, 1, 7, 2},
      {"landscape holds five", 9, 1, 140, 1072, 5, 2, 1, 5, 4},
      {"contents rows of 116 hold nine", 20, 2, 116, 1448, 9, 3, 2, 18, 2},
      {"an empty list has one empty page", 0, 0, 140, 1448, 7, 1, 0, 0, 0},
      {"rows removed: the page is clamped", 7, 1, 140, 1448, 7, 1, 0, 0, 7},
      {"far past the end", 9, 99, 140, 1448, 7, 2, 1, 7, 2},
      {"everything removed", 0, 3, 140, 1448, 7, 1, 0, 0, 0},
      {"a screen too short for a row still shows one", 3, 0, 140, 400, 1, 3, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListGeometry g = list_geometry(c.rows, c.page, c.row_height, c.screen_h);
    EXPECT_EQ(g.per_page, c.per_page);
    EXPECT_EQ(g.pages, c.pages);
    EXPECT_EQ(g.page, c.shown_page);
    EXPECT_EQ(g.first, c.first);
    EXPECT_EQ(g.shown, c.shown);
    EXPECT_EQ(g.has_pager(), c.pages >= 2);
  }
}

TEST(ListGeometry, TapsHitShownRowsThePagerOrNothing) {
  struct Case {
    const char* name;
    uint64_t rows, page;
    int row_height, x, y;
    ListTap what;
    uint64_t row;
  };
  const int pager_y = kPortraitH - 100, gap_y = kPortraitH - 120;
  const Case cases[] = {
      {"first row", 9, 0, 140, 500, slot_y(0), ListTap::Row, 0},
      {"first pixel of the rows", 9, 0, 140, 500, kListTop, ListTap::Row, 0},
      {"last slot of a full page", 9, 0, 140, 500, slot_y(6), ListTap::Row, 6},
      {"gap under the last slot is not the next page's row", 9, 0, 140, 500, gap_y,
       ListTap::Nothing, 0},
      {"pager right half", 9, 0, 140, kPortraitW / 2, pager_y, ListTap::NextPage, 0},
      {"pager left half on the first page", 9, 0, 140, kPortraitW / 2 - 1, pager_y,
       ListTap::Nothing, 0},
      {"second page's first row", 9, 1, 140, 500, slot_y(0), ListTap::Row, 7},
      {"second page's last row", 9, 1, 140, 500, slot_y(1), ListTap::Row, 8},
      {"empty slot under a short last page", 9, 1, 140, 500, slot_y(2), ListTap::Nothing, 0},
      {"pager left half goes back", 9, 1, 140, 10, pager_y, ListTap::PreviousPage, 0},
      {"pager right half on the last page", 9, 1, 140, 1000, pager_y, ListTap::Nothing, 0},
      {"one page: below the last slot", 7, 0, 140, 500, pager_y, ListTap::Nothing, 0},
      {"contents rows: gap above the pager", 20, 0, 116, 500, kListTop + 9 * 116 + 20,
       ListTap::Nothing, 0},
      {"contents rows: last row", 20, 0, 116, 500, slot_y(8, 116), ListTap::Row, 8},
      {"empty list", 0, 0, 140, 500, slot_y(0), ListTap::Nothing, 0},
      {"header band", 9, 0, 140, 500, kListTop - 1, ListTap::Nothing, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListGeometry g = list_geometry(c.rows, c.page, c.row_height, kPortraitH);
    const ListHit hit = list_hit(g, c.x, c.y, kPortraitW);
    EXPECT_EQ(hit.what, c.what);
    if (c.what == ListTap::Row) {
      EXPECT_EQ(hit.row, c.row);
    }
  }
}

TEST(ListGeometry, PagerLabel) {
  EXPECT_EQ(ui_pager_label(1, 2), "\xE2\x80\xB9   1 of 2   \xE2\x80\xBA");
  EXPECT_EQ(ui_pager_label(12, 40, 4), "\xE2\x80\xB9    12 of 40    \xE2\x80\xBA");
}

using ListMenu = ScreenTest;

TEST_F(ListMenu, RowTextsOnValueAndPlainPages) {
  const std::string chevron = "\xE2\x80\xBA";
  struct Case {
    const char* name;
    std::string title, row, label, right;
  };
  const Case cases[] = {
      {"label and value", "Settings", "Wi-Fi: Home network", "Wi-Fi", "Home network  " + chevron},
      {"same row on a plain page", "Wi-Fi", "Wi-Fi: Home network", "Wi-Fi: Home network", ""},
      {"empty value", "Device options", "Sleep: ", "Sleep", "  " + chevron},
      {"no value", "Book", "Mark as read", "Mark as read", chevron},
      {"first separator splits", "Library", "a: b: c", "a", "b: c  " + chevron},
      {"title compared whole", "Settings ", "Wi-Fi: Home", "Wi-Fi: Home", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListRowText t = list_row_text(c.title, c.row);
    EXPECT_EQ(t.label, c.label);
    EXPECT_EQ(t.right, c.right);
  }
}

TEST_F(ListMenu, LongValuesAreShortenedToTheirRoom) {
  const std::string tail = "...  \xE2\x80\xBA";
  const int room = (3 * W() - 288) / 5;
  // 150 narrow bytes: cut to 100 first, then shortened further while too wide.
  const ListRowText narrow = list_row_text("Settings", "Name: " + std::string(150, 'i'));
  ASSERT_GE(narrow.right.size(), tail.size());
  EXPECT_EQ(narrow.right.substr(narrow.right.size() - tail.size()), tail);
  EXPECT_LE(narrow.right.size() - tail.size(), 100u);
  // Wide non-ASCII letters go a whole character at a time and the value ends in ASCII or is empty.
  std::string wide = "Name: W";
  for (int i = 0; i < 60; ++i) wide += "\xC3\x85";
  const ListRowText w = list_row_text("Settings", wide);
  EXPECT_LE(ql_measure(w.right.c_str(), TS_UI_BOLD, 42), float(room));
  const std::string value = w.right.substr(0, w.right.size() - tail.size());
  EXPECT_TRUE(value.empty() || static_cast<unsigned char>(value.back()) < 0x80) << value;
}

TEST_F(ListMenu, NineRowsTurnToTheSecondPageAndPickThere) {
  const std::vector<std::string> texts = {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8"};
  const std::vector<std::string_view> rows(texts.begin(), texts.end());
  touches_.touch(W() - 100, H() - 50);  // pager, right half
  touches_.touch(500, slot_y(2));       // empty slot on page 2: nothing
  touches_.touch(500, slot_y(1));       // row 8
  EXPECT_EQ(ui_list_menu("Rows", 4, rows), std::optional<size_t>(8));
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_LT(darkest(W() / 2 - 100, H() - 80, 200, 50), 128);  // the pager was drawn
}

// The page keys turn the pager, in both orientations, and never pick a row; a list of one page
// takes none.
TEST_F(ListMenu, PageKeysTurnThePagerAndPickNothing) {
  const std::vector<std::string> texts = {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8"};
  const std::vector<std::string_view> rows(texts.begin(), texts.end());
  for (const uint32_t rotation : {0u, 1u}) {
    SCOPED_TRACE(rotation);
    ql_set_rotation(rotation);
    const uint64_t per_page = uint64_t(list_geometry(9, 0, kListMenuRowHeight, H()).per_page);
    touches_.event(HOST_PAGE_KEY, 1);
    touches_.event(HOST_PAGE_KEY, 1);  // on the last page: stays
    touches_.event(HOST_PAGE_KEY, 0);
    touches_.event(HOST_PAGE_KEY, 1);
    touches_.touch(500, slot_y(0));
    EXPECT_EQ(ui_list_menu("Rows", 4, rows), std::optional<size_t>(per_page));
    EXPECT_TRUE(ScriptedTouch::done());
  }
  const std::vector<std::string_view> one = {"only"};
  touches_.event(HOST_PAGE_KEY, 1);
  touches_.event(HOST_PAGE_KEY, 0);
  EXPECT_THROW(ui_list_menu("Rows", 4, one), ScriptEnded);
}

TEST_F(ListMenu, OnePageShowsNoPagerAndIgnoresTapsBelowItsRows) {
  const std::vector<std::string_view> rows = {"only"};
  touches_.touch(W() - 100, H() - 50);
  touches_.touch(500, slot_y(1));
  EXPECT_THROW(ui_list_menu("Rows", 4, rows), ScriptEnded);
  EXPECT_EQ(darkest(0, H() - 110, W(), 110), 255);
  EXPECT_LT(darkest(48, 250, 200, 80), 128);           // the row's label
  EXPECT_EQ(px(500, 365), 170);  // the row's rule
  EXPECT_EQ(px(500, 365 + kListMenuRowHeight), 255);  // and no second one
}

TEST_F(ListMenu, BackArrowBandAndBackKey) {
  const std::vector<std::string_view> rows = {"a", "b"};
  touches_.touch(240, 150);  // right of the back area
  touches_.touch(100, 87);   // in the status bar
  touches_.event(HOST_APPEARANCE);
  touches_.touch(239, 88);
  EXPECT_EQ(ui_list_menu("Rows", 4, rows), std::nullopt);
  EXPECT_TRUE(ScriptedTouch::done());
  touches_.event(HOST_DEVICE_EVENT_2);  // the device's back key
  EXPECT_EQ(ui_list_menu("Rows", 4, rows), std::nullopt);
}

TEST_F(ListMenu, EmptyListReturnsOnlyOnBack) {
  touches_.touch(500, slot_y(0));
  touches_.touch(60, 160);
  EXPECT_EQ(ui_list_menu("Nothing", 7, {}), std::nullopt);
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(ListMenu, LandscapeHoldsFiveRowsAPage) {
  ql_set_rotation(1);
  ASSERT_EQ(H(), 1072);
  const std::vector<std::string> texts(6, "row");
  const std::vector<std::string_view> rows(texts.begin(), texts.end());
  touches_.touch(W() - 10, H() - 10);
  touches_.touch(100, slot_y(0));
  EXPECT_EQ(ui_list_menu("Rows", 4, rows), std::optional<size_t>(5));
}

}  // namespace
