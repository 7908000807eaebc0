// Appearance and the reading defaults page: what each choice sets, that ui.txt and settings.txt
// hold it at once, and that every value a settings screen writes loads back unchanged.
#include <gtest/gtest.h>

#include "app/reader/paginator.h"
#include "app/reader/reading_options.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_present.h"
#include "audio/audio_player.h"
#include "settings/settings_page_parts.h"
#include "settings_fixture.h"

namespace {

// The reading defaults page's rows.
enum ReadingRow : size_t {
  kFontRow, kRefreshRow, kAlignRow, kDarkRow, kTurnsRow, kBuyRow, kNowRow
};

class ReadingDefaults : public SettingsScreen {
 protected:
  static SettingsRecord saved_settings() {
    SettingsRecord r;
    qls_load(r);
    return r;
  }
  // ui.txt read into the live state, as the next start would.
  static UiState reloaded_ui() {
    ui_state = UiState{};
    ui_state_load();
    return ui_state;
  }
};

TEST_F(ReadingDefaults, AppearanceChoiceSetsTheDarkFlag) {
  struct Case {
    const char* name;
    size_t choice;
    int host_dark;
    uint8_t appearance;
    bool dark;
  } cases[] = {
      {"System with the host dark", 0, 1, 0, true},
      {"System with the host light", 0, 0, 0, false},
      {"Light whatever the host says", 1, 1, 1, false},
      {"Dark with the host light", 2, 0, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_set_test_dark(c.host_dark);
    ui_state.appearance = c.choice == 1 ? 2 : 1;
    app.present.clean = true;
    open(SettingsRow::Appearance);
    pick(c.choice);
    touches_.at_wait([&] {
      EXPECT_EQ(app.present.inverted, c.dark);
      EXPECT_FALSE(app.present.clean);
    });
    tap_back();
    settings_pages();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(ui_state.appearance, c.appearance);
    EXPECT_TRUE(ui_txt_has("appearance=" + std::to_string(c.appearance))) << ui_txt();
    EXPECT_TRUE(ui_txt_has(std::string("night=") + (c.dark ? "1" : "0"))) << ui_txt();
  }
}

TEST_F(ReadingDefaults, AppearanceBackChangesNothing) {
  open(SettingsRow::Appearance);
  tap_back();
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(ui_state.appearance, 1);
  EXPECT_EQ(ui_txt(), "");
}

TEST_F(ReadingDefaults, DarkModeToggleLeavesSystem) {
  struct Case {
    const char* name;
    int host_dark;
    uint8_t appearance;
    bool dark;
  } cases[] = {
      {"host dark: dark off becomes Light", 1, 1, false},
      {"host light: dark on becomes Dark", 0, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_set_test_dark(c.host_dark);
    ui_state.appearance = kAppearanceSystem;
    ui_apply_appearance();
    open(SettingsRow::ReadingOptions);
    pick(kDarkRow);
    tap_back();
    tap_back();
    settings_pages();
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(ui_state.appearance, c.appearance);
    EXPECT_EQ(app.present.inverted, c.dark);
    EXPECT_TRUE(ui_txt_has("appearance=" + std::to_string(c.appearance))) << ui_txt();
  }
}

TEST_F(ReadingDefaults, RefreshRowLabels) {
  struct Case {
    int32_t interval;
    const char* text;
  } cases[] = {
      {0, "Page refresh: never"},          {1, "Page refresh: every 1 pages"},
      {6, "Page refresh: every 6 pages"},  {24, "Page refresh: every 24 pages"},
      {-4, "Page refresh: never"},  // a hand-edited ui.txt: it never refreshes either
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interval);
    EXPECT_EQ(refresh_row_text(c.interval), c.text);
  }
}

TEST_F(ReadingDefaults, EveryOfferedFontSizeLoadsBack) {
  constexpr int32_t kOffered[] = {28, 32, 36, 40, 44, 48, 56, 64};
  open(SettingsRow::ReadingOptions);
  shot("reading-options");
  for (size_t i = 0; i < std::size(kOffered); ++i) {
    pick(kFontRow);
    if (i == 0) shot("font-sizes");
    pick(i);
    touches_.at_wait([&, i] {
      SCOPED_TRACE(kOffered[i]);
      EXPECT_EQ(layout.font_px, kOffered[i]);
      EXPECT_EQ(saved_settings().font, kOffered[i]);
    });
  }
  tap_back();
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_has_row("reading-options", int(kNowRow)));
  EXPECT_TRUE(shot_has_row("font-sizes", 6));
}

TEST_F(ReadingDefaults, EveryOfferedInterfaceChoiceLoadsBack) {
  constexpr int32_t kIntervals[] = {0, 6, 12, 24, 1};
  open(SettingsRow::ReadingOptions);
  for (size_t i = 0; i < std::size(kIntervals); ++i) {
    pick(kRefreshRow);
    pick(i);
    touches_.at_wait([&, i] { EXPECT_EQ(reloaded_ui().refresh, kIntervals[i]) << i; });
  }
  for (uint8_t pq = 0; pq < 3; ++pq) {
    pick(kTurnsRow);
    pick(pq);
    touches_.at_wait([&, pq] { EXPECT_EQ(reloaded_ui().pq, pq); });
  }
  for (bool buy : {true, false}) {
    pick(kBuyRow);
    pick(buy ? 1 : 0);
    touches_.at_wait([&, buy] { EXPECT_EQ(reloaded_ui().buy, buy); });
  }
  for (bool left : {true, false}) {
    pick(kAlignRow);
    touches_.at_wait([&, left] {
      EXPECT_EQ(layout.align, left);
      EXPECT_EQ(reloaded_ui().align, left);
    });
  }
  tap_back();
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(ReadingDefaults, ChooserBackChangesNothing) {
  open(SettingsRow::ReadingOptions);
  for (size_t row : {kFontRow, kRefreshRow, kTurnsRow, kBuyRow}) {
    pick(row);
    tap_back();
  }
  tap_back();
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(ui_txt(), "");
  EXPECT_FALSE(file_exists(root_.state("settings.txt")));
}

TEST_F(ReadingDefaults, RefreshNowReturnsToTheHubForAFullRefresh) {
  open(SettingsRow::ReadingOptions);
  touches_.at_wait([] { app.present.clean = true; });
  pick(kNowRow);
  tap_back();  // leaves the hub: the page is already closed
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_FALSE(app.present.clean);
}

TEST_F(ReadingDefaults, EveryOfferedSpeedAndTimerLoadsBack) {
  for (size_t i = 0; i < kAudioSpeeds.size(); ++i) {
    open(SettingsRow::Audiobooks);
    pick(0);
    pick(i);
    touches_.at_wait([&, i] { EXPECT_EQ(saved_settings().speed, kAudioSpeeds[i]) << i; });
  }
  for (size_t i = 0; i < kAudioTimerMinutes.size(); ++i) {
    open(SettingsRow::Audiobooks);
    if (i == 1) shot("audiobooks");
    pick(1);
    pick(i);
    touches_.at_wait(
        [&, i] { EXPECT_EQ(saved_settings().sleeptimer, kAudioTimerMinutes[i]) << i; });
  }
  tap_back();
  settings_pages();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_has_row("audiobooks", 1));
  EXPECT_FALSE(shot_has_row("audiobooks", 2));
}

// The reader's own panel steps text size, spacing and margins from any value it starts at (the
// default or a default size chosen here); every value it can reach must load back.
TEST(SettingsRanges, EveryValueTheReadersPanelReachesLoadsBack) {
  DeviceRoot root;
  struct Stepper {
    const char* name;
    int32_t SettingsRecord::* field;
    int32_t step, lo, hi;
    std::vector<int32_t> starts;
  } steppers[] = {
      {"text size", &SettingsRecord::font, 6, 32, 110, {28, 32, 36, 40, 44, 48, 56, 64}},
      {"line spacing", &SettingsRecord::line, 8, 92, 180, {108}},
      {"margins", &SettingsRecord::margin, 24, 24, 144, {64}},
  };
  for (const Stepper& s : steppers) {
    for (int32_t start : s.starts) {
      for (int dir : {-1, 1}) {
        int32_t v = start;
        for (;;) {
          SCOPED_TRACE(testing::Message() << s.name << " " << v);
          SettingsRecord r = settings_defaults();
          r.*s.field = v;
          ASSERT_TRUE(qls_save(r));
          SettingsRecord back;
          qls_load(back);
          EXPECT_EQ(back.*s.field, v);
          const int32_t next = reading_option_step(v, dir, s.step, s.lo, s.hi);
          if (next == v) break;
          v = next;
        }
      }
    }
  }
}

}  // namespace
