// The settings hub: the rows the desktop lists, every row through the test switch, and that each
// tapped position opens the page of its own row.
#include <gtest/gtest.h>

#include "settings_fixture.h"
#include "store/store_orders.h"

namespace {

std::vector<std::string> listed_texts() {
  std::vector<std::string> texts;
  for (const SettingsListedRow& r : settings_listed_rows()) texts.push_back(r.text);
  return texts;
}

class SettingsHub : public SettingsScreen {};

TEST_F(SettingsHub, DesktopListsNineRowsAndTheFourthOpensReadingOptions) {
  EXPECT_EQ(listed_texts(),
            (std::vector<std::string>{"Free books and audiobooks", "Add books from this device",
                                      "Appearance: Light", "Reading options", "Vocabulary",
                                      "Language & dictionaries", "Audiobooks", "Report a bug",
                                      "About Corvell Nalo"}));
  shot("hub");
  touches_.touch(W() * 3 / 4, H() - 40);  // the second page
  shot("hub-page-2");
  touches_.touch(W() / 4, H() - 40);  // back to the first
  pick(3);  // Reading options; row 3 of the table would be Wi-Fi
  pick(2);  // its Alignment row
  tap_back();
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(ui_state.align);
  EXPECT_TRUE(ui_txt_has("align=1"));
  // Seven rows and the pager on the first page, the last two on the second.
  EXPECT_TRUE(shot_has_row("hub", 6));
  EXPECT_LT(shot_darkest("hub", 0, H() - 80, W(), 60), 100) << "pager";
  EXPECT_TRUE(shot_has_row("hub-page-2", 1));
  EXPECT_FALSE(shot_has_row("hub-page-2", 2));
}

TEST_F(SettingsHub, TheSwitchListsEveryRowInTableOrder) {
  device_platform_for_tests(true);
  const std::vector<SettingsListedRow> rows = settings_listed_rows();
  ASSERT_EQ(rows.size(), size_t(kSettingsRowCount));
  for (int i = 0; i < kSettingsRowCount; ++i) EXPECT_EQ(int(rows[size_t(i)].row), i);
  EXPECT_EQ(rows[3].text, "Wi-Fi networks");
  EXPECT_EQ(rows[11].text, "Feed and wake time");
  EXPECT_EQ(rows[12].text, "Payments & orders");
  device_platform_for_tests(false);
  EXPECT_EQ(settings_listed_rows().size(), 9u);
}

TEST_F(SettingsHub, FeedAndWakeTimeOpensTheMorningMenu) {
  device_platform_for_tests(true);
  open(SettingsRow::FeedAndWake);
  pick(4);  // "Morning wake: On"
  tap_back();
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_FALSE(ui_state.morning);
  EXPECT_TRUE(ui_txt_has("morning=0"));
}

TEST_F(SettingsHub, ABoughtBookShownFromTheOrdersClosesTheHub) {
  device_platform_for_tests(true);
  for (bool shown : {false, true}) {
    SCOPED_TRACE(shown ? "a bought book was shown" : "left the orders list");
    open(SettingsRow::PaymentsOrders);
    // While the orders list is up, a download may show a bought book, which sets the flag.
    touches_.at_wait([shown] { store_purchase_shown = shown; });
    tap_back();  // leaves the orders list
    if (!shown) tap_back();  // and the hub, which stayed
    settings_pages();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_FALSE(store_purchase_shown);
  }
}

TEST_F(SettingsHub, AppearanceRowShowsTheChoice) {
  struct Case {
    uint8_t appearance;
    const char* text;
  } cases[] = {{0, "Appearance: System"}, {1, "Appearance: Light"}, {2, "Appearance: Dark"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ui_state.appearance = c.appearance;
    EXPECT_EQ(settings_listed_rows()[2].text, c.text);
  }
}

// The other desktop rows open their screens, on either page of the hub.
TEST_F(SettingsHub, RowsOpenTheirScreens) {
  struct Case {
    SettingsRow row;
    const char* name;
    int rows_shown;  // the opened list's rows
  } cases[] = {
      {SettingsRow::FreeBooks, "free-books", 3},
      {SettingsRow::ReportBug, "report-a-bug", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    open(c.row);
    shot(c.name);
    tap_back();
    tap_back();
    settings_pages();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_TRUE(shot_has_row(c.name, c.rows_shown - 1));
    EXPECT_FALSE(shot_has_row(c.name, c.rows_shown));
  }
}

}  // namespace
