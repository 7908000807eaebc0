// The Morning Paper: edition labels and order, today's date in local time, the wake time's steps,
// and the screen's way back to the library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "display/framebuffer.h"
#include "host/host_queue.h"
#include "library/edition_dates.h"
#include "library/morning_paper.h"
#include "library_screen_fixture.h"
#include "support/scripted_touch.h"

TEST(EditionDates, LabelsOfEditionNames) {
  struct Case {
    const char* name;
    const char* label;
  } cases[] = {
      {"2024-05-10 Morning Paper.epub", "Friday, May 10"},
      {"2024-05-03", "Friday, May 3"},
      {"2000-02-29.epub", "Tuesday, February 29"},
      {"1970-01-01x", "Thursday, January 1"},
      {"2024-02-31.epub", "Saturday, February 31"},  // the day is not checked against the month
      {"2024-13-01.epub", "2024-13-01.epub"},
      {"2024-00-01.epub", "2024-00-01.epub"},
      {"2024-5-10.epub", "2024-5-10.epub"},
      {"News.epub", "News.epub"},
      {"2024-05-1", "2024-05-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(edition_date_label(c.name), c.label);
  }
}

TEST(EditionDates, TodayInLocalTime) {
  constexpr int64_t kMay10 = 1715299200;  // 2024-05-10 00:00 UTC
  struct Case {
    const char* name;
    int64_t utc;
    int32_t offset;
    const char* key;
    const char* label;
  } cases[] = {
      {"midnight UTC", kMay10, 0, "2024-05-10", "Today  ·  FRIDAY, MAY 10"},
      {"a second before", kMay10 - 1, 0, "2024-05-09", "Today  ·  THURSDAY, MAY 9"},
      {"22:00 UTC two hours east", kMay10 - 2 * 3600, 120, "2024-05-10", "Today  ·  FRIDAY, MAY 10"},
      {"21:59 UTC two hours east", kMay10 - 2 * 3600 - 60, 120, "2024-05-09",
       "Today  ·  THURSDAY, MAY 9"},
      {"west of UTC", kMay10 + 3600, -120, "2024-05-09", "Today  ·  THURSDAY, MAY 9"},
      {"the epoch", 0, 0, "1970-01-01", "Today  ·  THURSDAY, JANUARY 1"},
      {"before the epoch", -1, 0, "1969-12-31", "Today  ·  WEDNESDAY, DECEMBER 31"},
      {"leap day", 951782400, 0, "2000-02-29", "Today  ·  TUESDAY, FEBRUARY 29"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CivilDate d = local_date(c.utc, c.offset);
    EXPECT_EQ(today_key(d), c.key);
    EXPECT_EQ(today_label(d), c.label);
  }
}

TEST(EditionDates, WakeTimeWrapsAtMidnight) {
  struct Case {
    int32_t hour, minute;
    int delta;
    int32_t to_hour, to_minute;
  } cases[] = {
      {0, 5, -15, 23, 50}, {23, 50, 15, 0, 5}, {11, 30, -15, 11, 15},
      {11, 30, 15, 11, 45}, {0, 0, -15, 23, 45}, {23, 45, 15, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.hour) + ":" + std::to_string(c.minute) + " " +
                 std::to_string(c.delta));
    int32_t h = c.hour, m = c.minute;
    wake_time_step(h, m, c.delta);
    EXPECT_EQ(h, c.to_hour);
    EXPECT_EQ(m, c.to_minute);
  }
}

TEST(EditionDates, NewestEditionFirst) {
  EXPECT_TRUE(morning_edition_newer_first("2024-05-10.epub", "2024-05-09.epub"));
  EXPECT_FALSE(morning_edition_newer_first("2024-05-09.epub", "2024-05-10.epub"));
  EXPECT_TRUE(morning_edition_newer_first("2024-05-10 extra.epub", "2024-05-10"));
  EXPECT_FALSE(morning_edition_newer_first("a", "a"));
  EXPECT_TRUE(morning_edition_newer_first("\xC3\xA9", "z")) << "bytes compare unsigned";
}

namespace {

using MorningPaper = LibraryScreenTest;

}  // namespace

TEST_F(MorningPaper, EditionsNewestFirstAndBackToTheLibrary) {
  for (const char* name : {"2024-05-03.epub", "2024-05-10.epub", "2024-05-09.epub"}) {
    root_.put(std::string("Morning Paper/") + name, epub_titled(name, ""));
  }
  root_.put("Other.epub", epub_titled("Other", "Kim"));
  library_rescan_documents();
  std::vector<std::string> names;
  for (uint64_t e : morning_editions()) names.emplace_back(path_file_name(ql_entries()[e].path));
  EXPECT_EQ(names, (std::vector<std::string>{"2024-05-10.epub", "2024-05-09.epub",
                                             "2024-05-03.epub"}));

  app.view = AppView::Paper;
  touches_.touch(500, 930 + 2 * 112 + 50);  // "Feed and wake time": a message, the screen stays
  touches_.touch(500, 600);                  // ends the message
  touches_.touch(kBackTapX, kBackTapY);
  morning_paper_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(app.view, AppView::Library);
}

TEST_F(MorningPaper, SettingsMenuStepsTheWakeTimeAndSavesIt) {
  settings.wake_hour = 0;
  settings.wake_min = 5;
  auto row = [&](int i) {
    touches_.touch(500, kListTop + i * kListMenuRowHeight + kListMenuRowHeight / 2);
  };
  row(2);  // -15 min
  touches_.at_wait([] {
    EXPECT_EQ(settings.wake_hour, 23);
    EXPECT_EQ(settings.wake_min, 50);
  });
  row(3);
  row(3);
  row(4);  // morning wake off
  touches_.touch(100, (kStatusBarBottom + kHeaderBottom) / 2);
  const bool morning = ui_state.morning;
  morning_settings_menu();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(settings.wake_hour, 0);
  EXPECT_EQ(settings.wake_min, 20);
  EXPECT_NE(ui_state.morning, morning);
  EXPECT_NE(read_file(root_.state("settings.txt")).find("wake=00:20\n"), std::string::npos);
}
