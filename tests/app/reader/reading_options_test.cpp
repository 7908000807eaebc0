// The "Aa" panel driven with scripted touches on a book built here: each step lays the book out
// again on the page's first word and is saved; values never leave their ranges.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/reader/paginator.h"
#include "app/reader/reader_open.h"
#include "app/reader/reading_options.h"
#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_state.h"
#include "book/book_model.h"
#include "support/epub_builder.h"
#include "support/reader_book.h"
#include "support/ui_screen_fixture.h"

namespace {
std::string body() {
  std::string text;
  for (int p = 0; p < 120; ++p)
    text += "<p>grey gulls over the harbour wall, paragraph " + std::to_string(p) + " of the tide.</p>";
  return text;
}

TEST(ReadingOptionStep, StaysInRangeAndNeverStepsTheWrongWay) {
  const struct {
    int32_t value;
    int dir;
    int32_t want;
  } cases[] = {
      {56, 1, 62}, {110, 1, 110}, {56, -1, 50}, {32, -1, 32},
      {20, -1, 20},    // below the range: a "-" leaves it
      {20, 1, 32},     // a "+" brings it into the range
      {200, -1, 110},  // above: a "-" brings it down
      {200, 1, 200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.value) + (c.dir > 0 ? " +" : " -"));
    EXPECT_EQ(reading_option_step(c.value, c.dir, 6, 32, 110), c.want);
  }
  EXPECT_EQ(reading_option_step(64, -1, 24, 24, 144), 40);
  EXPECT_EQ(text_size_level(56), 5);
  EXPECT_EQ(text_size_level(62), 6);
  EXPECT_EQ(text_size_level(110), 14);
  EXPECT_EQ(text_size_level(20), 1);
}

class ReadingOptions : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    path_ = root_.host("us/tide.epub");
    write_file(path_, build_epub(simple_book({body()})));
    book_open(path_.c_str(), path_.size());
    ASSERT_TRUE(app.reader.book_open);
    ASSERT_GT(layout.page_count(), 6u);
  }
  void TearDown() override {
    close_test_book();
    ScreenTest::TearDown();
  }
  int row_y(int row) const {
    const int h = H() < 1200 ? 100 : 112;
    return H() - 5 * h - 8 + row * h + h / 2;
  }
  std::string path_;
};

TEST_F(ReadingOptions, LargerTextKeepsThePageOnItsFirstWordAndIsSaved) {
  app.reader.page = 5;
  const uint64_t first = layout.page_first_word(5);
  const int32_t size = layout.font_px;
  const uint64_t pages = layout.page_count();
  const int32_t spacing = layout.line_pct;
  const int32_t margin = layout.margin_px;
  touches_.touch(W() - 173, row_y(0));  // "+" on its edge
  touches_.touch(W() - 306, row_y(3));  // left of the buttons: nothing
  touches_.touch(300, 100);             // above the panel: closes
  ASSERT_NO_THROW(reading_options_screen());
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(layout.font_px, size + 6);
  EXPECT_EQ(settings.font, size + 6);
  EXPECT_EQ(layout.margin_px, margin);
  EXPECT_GT(layout.page_count(), pages);
  const uint64_t now = layout.page_first_word(app.reader.page);
  EXPECT_LE(now, first);
  EXPECT_GT(layout.page_first_word(app.reader.page + 1), first);

  touches_.touch(W() - 174, row_y(2));  // "-" on its edge
  touches_.touch(300, 100);
  ASSERT_NO_THROW(reading_options_screen());
  EXPECT_EQ(layout.line_pct, spacing - 8);
  SettingsRecord saved;
  qls_load(saved);
  EXPECT_EQ(saved.font, size + 6);
  EXPECT_EQ(saved.line, spacing - 8);
}
TEST_F(ReadingOptions, ThemeTogglesAndTheBuiltInFontRemovesFontTxt) {
  const std::string font_txt = root_.host("us/ql/state/font.txt");
  std::filesystem::create_directories(root_.host("us/ql/state"));
  write_file(font_txt, "/mnt/us/fonts/Gone");
  std::snprintf(app.reader.font_name, sizeof app.reader.font_name, "/mnt/us/fonts/Gone");
  const bool dark = app.present.inverted;
  touches_.touch(300, row_y(4));  // theme
  touches_.touch(300, row_y(1));  // font list
  touches_.touch(300, 226 + kListMenuRowHeight / 2);  // "Source Serif (built in)"
  touches_.touch(300, 100);
  ASSERT_NO_THROW(reading_options_screen());
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_NE(app.present.inverted, dark);
  EXPECT_EQ(ui_state.appearance, dark ? 1 : 2);
  EXPECT_STREQ(app.reader.font_name, "");
  EXPECT_FALSE(std::filesystem::exists(font_txt));
  ui_state.appearance = 1;
  app.present.inverted = false;
}
}  // namespace
