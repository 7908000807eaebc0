// The cover card: the cached picture, the title placeholder and the queue of deferred covers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/cover_jobs.h"
#include "app/ui/ui_cover_card.h"
#include "base/wyhash.h"
#include "book/covers.h"
#include "support/ui_screen_fixture.h"

namespace {
using CoverCard = ScreenTest;

TEST_F(CoverCard, TitleWithoutExtensionAndFontSize) {
  struct Case {
    std::string_view title, shown;
  } titles[] = {
      {"Moby Dick.epub", "Moby Dick"},
      {"notes.backup", "notes.backup"},  // the dot is 7 bytes from the end
      {"a.b", "a"},
      {".epub", ".epub"},  // a dot as the first byte stays
      {"No dot", "No dot"},
      {"", ""},
  };
  for (const Case& c : titles) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(cover_title_text(c.title), c.shown);
  }
  for (auto [w, size] : {std::pair{300, 50}, {90, 20}, {148, 24}, {0, 20}}) {
    EXPECT_EQ(cover_title_size(w), size) << w;
  }
}

TEST_F(CoverCard, TwelveJobsAtMostAndNoLongPaths) {
  cover_cache_clear();
  app.covers.deferred = true;
  for (int i = 0; i < 13; ++i) {
    const std::string path = "/mnt/us/documents/missing" + std::to_string(i) + ".epub";
    ui_draw_cover_card(path.data(), path.size(), 0, "T", 1, 10 * i, 300, 60, 80);
  }
  ASSERT_EQ(app.covers.count, kMaxCoverJobs);
  EXPECT_STREQ(app.covers.jobs[11].path, "/mnt/us/documents/missing11.epub");
  EXPECT_EQ(app.covers.jobs[11].x, 110);
  EXPECT_EQ(app.covers.jobs[11].w, 60u);

  cover_jobs_clear();
  const std::string long_path(4096, 'a');
  EXPECT_FALSE(cover_job_queue(long_path.data(), long_path.size(), 0, 0, 0, 1, 1));
  EXPECT_TRUE(cover_job_queue(long_path.data(), 4095, 0, 0, 0, 1, 1));
  EXPECT_EQ(strlen(app.covers.jobs[0].path), 4095u);
  app.covers.deferred = false;
  cover_jobs_clear();
}

TEST_F(CoverCard, CachedCoverDrawsEvenWhileDeferred) {
  cover_cache_clear();
  const std::string path = "/mnt/us/documents/cached.epub";
  std::vector<uint8_t> grey(120 * 160, 77);
  cover_cache_put(CacheKey(path), 120, 160, grey.data(), grey.size());
  app.covers.deferred = true;
  ql_clear();
  ui_draw_cover_card(path.data(), path.size(), 0, "Cached", 6, 200, 300, 120, 160);
  EXPECT_EQ(app.covers.count, 0u);
  EXPECT_EQ(px(260, 380), 77);
  EXPECT_EQ(ql_mask()[380 * size_t(W()) + 260], MASK_PICTURE);
  EXPECT_EQ(px(200, 300), 0) << "the outline";
  app.covers.deferred = false;
  cover_cache_clear();
}

TEST_F(CoverCard, PlaceholderKeepsTheTitleInsideTheBox) {
  cover_cache_clear();
  const std::string path = "/mnt/us/documents/none.epub";
  ql_rect(0, 0, W(), H(), 100);
  const std::string title = "A rather long title that wraps over several lines.epub";
  ui_draw_cover_card(path.data(), path.size(), 1, title.data(), title.size(), 100, 300, 300, 420);
  EXPECT_EQ(app.covers.count, 0u) << "an audio book without a cover file is not queued";
  EXPECT_EQ(px(100, 300), 0);
  EXPECT_EQ(px(399, 719), 0);
  EXPECT_EQ(px(99, 500), 100) << "nothing outside the box";
  EXPECT_LT(darkest(110, 300 + 105 - 40, 280, 45), 128) << "the first line at a quarter height";
  EXPECT_EQ(darkest(101, 720 - 12 + 10, 298, 1), 255) << "no text below the last baseline";

  // A box with room for one line and a half: the second line would end too low, so the text
  // stops after the first.
  ql_clear();
  ui_draw_cover_card(path.data(), path.size(), 1, "Word Word Word Word", 19, 100, 300, 90, 60);
  EXPECT_LT(darkest(101, 301, 88, 15), 128);
  EXPECT_EQ(darkest(101, 320, 88, 39), 255);
}
// A title word wider than the card is broken inside it, never drawn past its edge: the grid
// cell, the list thumbnail and the player's card alike. A real cover drawn over the card later
// then leaves nothing of the placeholder behind.
TEST_F(CoverCard, WordsWiderThanTheCardBreakInsideIt) {
  cover_cache_clear();
  const std::string path = "/mnt/us/documents/none.epub";
  std::string e20;
  for (int i = 0; i < 20; i++) e20 += "\xC3\xA9";
  struct Case {
    std::string title;
    int w, h;
    int lines;  // at least this many lines hold ink
  } cases[] = {
      {"idpf_vertical-manga.epub", 304, 405, 2},
      {"atl_AAC_adts_CBR88_8s.aac", 340, 340, 2},
      {"atl_AAC_adts_CBR88_8s.aac", 148, 204, 2},
      {"Supercalifragilisticexpialidocious", 148, 204, 3},
      {"Short " + e20 + " end", 148, 204, 3},  // broken between characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title + " in " + std::to_string(c.w));
    const int x = 100, y = 300;
    ql_rect(0, 0, W(), H(), 100);
    ui_draw_cover_card(path.data(), path.size(), 1, c.title.data(), c.title.size(), x, y, c.w, c.h);
    EXPECT_EQ(darkest(x + c.w, y, W() - x - c.w, c.h), 100) << "nothing right of the card";
    EXPECT_EQ(darkest(0, y, x, c.h), 100) << "nothing left of it";
    EXPECT_EQ(darkest(x + c.w - 6, y + 1, 4, c.h - 2), 255) << "the right inset stays blank";
    const int fs = cover_title_size(c.w), step = fs + fs / 4;
    for (int line = 0; line < c.lines; line++) {
      SCOPED_TRACE(line);
      EXPECT_LT(darkest(x + 10, y + c.h / 4 + line * step - fs / 2, c.w - 20, fs / 2), 128);
    }
  }
}
}  // namespace
