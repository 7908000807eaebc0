#include "app/ui/ui_state.h"

#include <gtest/gtest.h>
#include <string>

#include "app/reader/font_choice.h"
#include "app/ui/time_zones.h"
#include "support/device_root.h"
#include "support/file_size_limit.h"

namespace {
void load_text(const DeviceRoot& root, const std::string& text) {
  write_file(root.state("ui.txt"), text);
  ui_state_load();
}
}  // namespace

TEST(UiState, RangesWhenLoaded) {
  struct { const char* text; int (*get)(); int expected; } cases[] = {
      {"sort=7", [] { return int{ui_state.sort}; }, 2},
      {"sort=-1", [] { return int{ui_state.sort}; }, 0},
      {"sort=1", [] { return int{ui_state.sort}; }, 1},
      {"tz=-3", [] { return int{ui_state.tz}; }, 0},
      {"tz=6", [] { return int{ui_state.tz}; }, 6},
      {"tz=300", [] { return int{ui_state.tz}; }, 6},
      {"filter=5", [] { return int{ui_state.filter}; }, 5},
      // A collection or author filter is not saved with its name, so it comes back as "All".
      {"filter=6", [] { return int{ui_state.filter}; }, 0},
      {"filter=7", [] { return int{ui_state.filter}; }, 0},
      {"filter=-2", [] { return int{ui_state.filter}; }, 0},
      {"filter=99", [] { return int{ui_state.filter}; }, 0},
      {"appearance=9", [] { return int{ui_state.appearance}; }, 2},
      {"pq=3", [] { return int{ui_state.pq}; }, 2},
      {"pq=0", [] { return int{ui_state.pq}; }, 0},
      {"foot=4", [] { return int{ui_state.foot}; }, 3},
      {"grid=5", [] { return int{ui_state.grid}; }, 1},
      {"grid=-1", [] { return int{ui_state.grid}; }, 1},
      {"buy=-1", [] { return int{ui_state.buy}; }, 0},
      {"buy=2", [] { return int{ui_state.buy}; }, 1},
      {"cover=0", [] { return int{ui_state.cover}; }, 0},
      {"morning=0", [] { return int{ui_state.morning}; }, 0},
      {"align=1", [] { return int{ui_state.align}; }, 1},
      {"land=1", [] { return int{ui_state.land}; }, 1},
      {"sleep=-5", [] { return int{ui_state.sleep}; }, -5},
      {"refresh=0", [] { return int{ui_state.refresh}; }, 0},
      {"refresh=1_000", [] { return int{ui_state.refresh}; }, 1000},
      {"refresh=+8", [] { return int{ui_state.refresh}; }, 8},
      // Lines that do not parse leave the value.
      {"refresh=", [] { return int{ui_state.refresh}; }, 12},
      {"refresh=9x", [] { return int{ui_state.refresh}; }, 12},
      {"refresh=99999999999", [] { return int{ui_state.refresh}; }, 12},
      {"grid =1", [] { return int{ui_state.grid}; }, 0},
      {"grid= 1", [] { return int{ui_state.grid}; }, 0},
      {"grid = 1", [] { return int{ui_state.grid}; }, 0},
      {"gridx=1", [] { return int{ui_state.grid}; }, 0},
      {"Grid=1", [] { return int{ui_state.grid}; }, 0},
      {"grid", [] { return int{ui_state.grid}; }, 0},
      {"sort=1   \r", [] { return int{ui_state.sort}; }, 1},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.text);
    DeviceRoot root;
    load_text(root, std::string(c.text) + "\n");
    EXPECT_EQ(c.get(), c.expected);
  }
}

TEST(UiState, NightSelectsDarkUnlessAppearanceFollows) {
  DeviceRoot root;
  load_text(root, "night=1\n");
  EXPECT_EQ(ui_state.appearance, 2);
  EXPECT_TRUE(app.present.inverted);
  load_text(root, "night=1\nappearance=1\n");
  EXPECT_EQ(ui_state.appearance, 1);
  load_text(root, "appearance=1\nnight=1\n");
  EXPECT_EQ(ui_state.appearance, 2);
  load_text(root, "appearance=1\nnight=0\n");
  EXPECT_EQ(ui_state.appearance, 1);
  EXPECT_FALSE(app.present.inverted);
}

TEST(UiState, MissingOrEmptyFileKeepsValues) {
  DeviceRoot root;
  ui_state.sort = 2;
  ui_state.refresh = 4;
  ui_state_load();
  load_text(root, "");
  load_text(root, "\n\n   \n");
  EXPECT_EQ(ui_state.sort, 2);
  EXPECT_EQ(ui_state.refresh, 4);
}

TEST(UiState, RestOfOverlongLineIsNotReadAsALine) {
  DeviceRoot root;
  load_text(root, std::string(255, 'x') + "sort=2\nrefresh=3\n");
  EXPECT_EQ(ui_state.sort, 0);
  EXPECT_EQ(ui_state.refresh, 3);
}

TEST(UiState, SaveWritesFifteenKeysInOrderAndRoundTrips) {
  DeviceRoot root;
  ui_state = UiState{true, 1, 4, 2, 3, -7, false, 0, false, true, true, 0, 3, true};
  app.present.inverted = true;
  ASSERT_TRUE(ui_save());
  EXPECT_EQ(read_file(root.state("ui.txt")),
            "grid=1\nsort=1\nfilter=4\nnight=1\nappearance=2\ntz=3\nsleep=-7\ncover=0\n"
            "refresh=0\nmorning=0\nalign=1\nland=1\nfoot=3\npq=0\nbuy=1\n");
  std::string written = read_file(root.state("ui.txt"));
  ui_state = UiState{};
  app.present.inverted = false;
  ui_state_load();
  ASSERT_TRUE(ui_save());
  EXPECT_EQ(read_file(root.state("ui.txt")), written);
}

TEST(UiState, FirstSaveWritesTzEvenForZoneZero) {
  DeviceRoot root;
  ASSERT_EQ(tz_written, 255);
  ASSERT_TRUE(ui_save());
  EXPECT_EQ(read_file(root.state("tz.txt")), "WET0WEST,M3.5.0/1,M10.5.0");
  EXPECT_EQ(tz_written, 0);
  // Unchanged zone: tz.txt is left alone.
  write_file(root.state("tz.txt"), "touched");
  ui_save();
  EXPECT_EQ(read_file(root.state("tz.txt")), "touched");
  ui_state.tz = 6;
  ui_save();
  EXPECT_EQ(read_file(root.state("tz.txt")), "PST8PDT,M3.2.0,M11.1.0");
  EXPECT_EQ(tz_written, 6);
}

TEST(UiState, FailedTzWriteIsRetried) {
  DeviceRoot root;
  ui_state.tz = 2;
  {
    // ui.txt cannot be written either; tz.txt is still attempted.
    const FileSizeLimit full(0);
    EXPECT_FALSE(ui_save());
  }
  EXPECT_EQ(tz_written, 255);
  EXPECT_FALSE(file_exists(root.state("tz.txt")));
  ui_save();
  EXPECT_EQ(tz_written, 2);
  EXPECT_EQ(read_file(root.state("tz.txt")), "EET-2EEST,M3.5.0/3,M10.5.0/4");
}

TEST(UiState, TimeZoneTable) {
  ASSERT_EQ(time_zones.size(), 7u);
  EXPECT_STREQ(time_zones[1].posix_tz, "UTC0");
  EXPECT_EQ(time_zones[2].offset_min, 120);
  EXPECT_EQ(time_zones[5].offset_min, -300);
  EXPECT_EQ(time_zones[5].dst, DST_US);
  EXPECT_EQ(time_zones[1].dst, DST_NONE);
  EXPECT_STREQ(time_zones[3].label, "Europe/Berlin (CET/CEST)");
}

TEST(FontChoice, ReadsTheStem) {
  struct { const char* name; std::string file; std::string expected; } cases[] = {
      {"stem and newline", "/mnt/us/fonts/Literata\n", "/mnt/us/fonts/Literata"},
      {"trailing blanks", "/mnt/us/fonts/A B  \r\n \n", "/mnt/us/fonts/A B"},
      {"blank file", " \n\r\n", ""},
      {"empty file", "", ""},
      {"over-long", std::string(1000, 'p'), std::string(399, 'p')},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceRoot root;
    write_file(root.state("font.txt"), c.file);
    font_choice_load();
    EXPECT_EQ(std::string(app.reader.font_name), c.expected);
  }
  DeviceRoot root;
  font_choice_load();
  EXPECT_STREQ(app.reader.font_name, "");
}
