// The library screen through its own drawing and touch entry points: geometry and hit-testing,
// pages, swipes and the pager, opening books, the search keyboard, new-book bands, deferred covers.
#include <gtest/gtest.h>

#include <string>

#include "app/ui/app_state.h"
#include "app/ui/cover_jobs.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_state.h"
#include "book/covers.h"
#include "display/framebuffer.h"
#include "host/host_queue.h"
#include "library/library_screen.h"
#include "store/new_books.h"
#include "support/keyboard_touch.h"
#include "library_screen_fixture.h"
#include "support/cover_fixture.h"
#include "support/scripted_touch.h"

namespace {

class LibraryScreen : public LibraryScreenTest {
 protected:
  void SetUp() override {
    LibraryScreenTest::SetUp();
    cover_cache_clear();
  }
  void TearDown() override {
    cover_cache_clear();
    LibraryScreenTest::TearDown();
  }

  // n books "Book 01".. with covers, scanned and listed by title.
  void books(int n) {
    for (int i = 1; i <= n; ++i) {
      char name[32];
      snprintf(name, sizeof name, "Book %02d", i);
      root_.put(std::string(name) + ".epub", epub_with_cover(name, uint8_t(40 + i)));
    }
    ui_state.sort = SORT_TITLE;
    library_rescan_documents();
  }
  static TapEvent tap(int x, int y, uint32_t held = 40, int x2 = -1) {
    return TapEvent{uint32_t(x), uint32_t(y), uint32_t(x2 < 0 ? x : x2), uint32_t(y), held, TAP_TOUCH};
  }
  static int dark_count(int x, int y, int w, int h) {
    int n = 0;
    for (int r = y; r < y + h; ++r)
      for (int c = x; c < x + w; ++c) n += px(c, r) < 128;
    return n;
  }

  LibraryRoot root_;
  ScriptedTouch touches_;
};

TEST_F(LibraryScreen, GeometryOfGridAndList) {
  struct Case {
    const char* name;
    int w, h;
    bool grid;
    int cell_w, cover_w, cover_h, row_pitch, rows;
    uint64_t per_page;
  } cases[] = {
      {"default grid", 1072, 1448, true, 304, 304, 405, 501, 1, 3},
      {"default list", 1072, 1448, false, 976, 148, 204, 232, 4, 4},
      {"tall grid", 1072, 2000, true, 304, 304, 405, 501, 3, 9},
      {"small grid never below one row", 600, 800, true, 146, 146, 194, 290, 1, 3},
      {"low list keeps one row", 1072, 700, false, 976, 148, 204, 232, 1, 1},
      // A full-width cell (429 x 572) would end below the items band, over the pager.
      {"landscape grid shrinks to one row", 1448, 1072, true, 360, 360, 480, 576, 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LibraryGeometry g = library_geometry(c.w, c.h, c.grid);
    EXPECT_EQ(g.cell_w, c.cell_w);
    EXPECT_EQ(g.cover_w, c.cover_w);
    EXPECT_EQ(g.cover_h, c.cover_h);
    EXPECT_EQ(g.row_pitch, c.row_pitch);
    EXPECT_EQ(g.rows, c.rows);
    EXPECT_EQ(g.per_page, c.per_page);
  }
}

TEST_F(LibraryScreen, LandscapeGridKeepsItsRowAboveThePager) {
  const LibraryGeometry portrait = library_geometry(1072, 1448, true);
  EXPECT_EQ(portrait.pitch_x, 336) << "portrait cells keep their 32 px gap";
  const LibraryGeometry g = library_geometry(1448, 1072, true);
  EXPECT_EQ(g.pitch_x, 496) << "the columns spread from margin to margin";
  EXPECT_EQ(kLibraryLeft + 2 * g.pitch_x + g.cell_w, 1448 - kLibraryLeft);
  EXPECT_LE(kLibraryItemsTop + g.row_pitch, g.pager_top) << "the row ends above the pager band";
  for (auto [x, slot] : {std::pair{48 + 495, 0}, {48 + 496, 1}, {48 + 2 * 496 + 359, 2}}) {
    const auto hit = library_slot_at(g, x, 500);
    EXPECT_EQ(hit ? int(*hit) : -1, slot) << x;
  }

  // Drawn: two pages of three; the pager's text and the captions keep apart.
  ql_set_rotation(1);
  ASSERT_EQ(W(), 1448);
  books(4);
  ui_state.grid = true;
  library_view_draw();
  const int caption = kLibraryItemsTop + g.row_pitch - 50;
  EXPECT_LT(darkest(48, caption - 30, g.cell_w, 30), 128) << "the caption is drawn";
  EXPECT_LT(darkest(0, g.pager_baseline - 30, W(), 30), 128) << "the pager is drawn";
  EXPECT_EQ(darkest(0, caption + 14, W(), g.pager_baseline - 34 - caption - 14), 255)
      << "blank between the captions and the pager";
}

TEST_F(LibraryScreen, AnEmptyPageSaysWhyItIsEmpty) {
  library_rescan_documents();
  EXPECT_TRUE(library_empty_text().starts_with("No books yet.")) << library_empty_text();
  books(3);
  for (std::string_view k : {"z", "z", "Done"}) tap_key(k);
  library_handle_touch(tap(W() - 200, 250));
  ASSERT_EQ(library.view_count, 0u);
  EXPECT_TRUE(library_empty_text().starts_with("No book matches this search.")) << library_empty_text();
  library_view_draw();
  EXPECT_GT(dark_count(48, 380, W() - 96, 120), 500) << "the text is drawn";
  EXPECT_TRUE(ScriptedTouch::done());

  library.search_query[0] = '\0';
  ui_state.filter = FILTER_READ;
  library_rebuild_view();
  ASSERT_EQ(library.view_count, 0u);
  EXPECT_TRUE(library_empty_text().starts_with("No book matches what this list shows."))
      << library_empty_text();
}

TEST_F(LibraryScreen, HitTestingFollowsTheDrawnCells) {
  const LibraryGeometry grid = library_geometry(W(), H(), true);
  const LibraryGeometry list = library_geometry(W(), H(), false);
  struct Case {
    const char* name;
    const LibraryGeometry* g;
    int x, y;
    int slot;  // -1 none
  } cases[] = {
      {"first cover's corner", &grid, 48, 300, 0},
      {"gap right of a cover is its cell", &grid, 48 + 304 + 31, 500, 0},
      {"second column", &grid, 48 + 336, 500, 1},
      {"third column's gap", &grid, 48 + 2 * 336 + 335, 500, 2},
      {"left margin", &grid, 47, 500, -1},
      {"a fourth column", &grid, 48 + 3 * 336, 500, -1},
      {"the label band", &grid, 100, 300 + 500, 0},
      {"a second row beyond the page", &grid, 100, 300 + 501, -1},
      {"list row 0 to its rule", &list, 600, 300 + 231, 0},
      {"list row 1", &list, 600, 300 + 232, 1},
      {"list below the last row", &list, 600, 300 + 4 * 232, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto slot = library_slot_at(*c.g, c.x, c.y);
    EXPECT_EQ(slot ? int(*slot) : -1, c.slot);
  }
}

TEST_F(LibraryScreen, PagesSwipesAndPager) {
  books(7);
  ASSERT_EQ(library.view_count, 7u);
  EXPECT_EQ(library_page_count(), 2u);
  library_handle_touch(tap(W() / 2 + 10, H() - 150));  // the pager's right half
  EXPECT_EQ(app.library_page, 1u);
  struct Step {
    const char* name;
    TapEvent t;
    uint64_t page;
  } steps[] = {
      {"pager right on the last page", tap(W() - 10, H() - 190), 1},
      {"swipe left on the last page", tap(900, 500, 100, 600), 1},
      {"the bottom band takes no taps", tap(10, H() - 120), 1},
      {"swipe right", tap(300, 500, 100, 600), 0},
      {"swipe right on the first page", tap(300, 500, 100, 600), 0},
      {"pager left on the first page", tap(W() / 2 - 1, H() - 150), 0},
      {"swipe left", tap(900, 500, 449, 600), 1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    library_handle_touch(s.t);
    EXPECT_EQ(app.library_page, s.page);
    EXPECT_EQ(app.view, AppView::Library);
  }
  app.library_page = 9;  // a filter shrank the list
  library_view_draw();
  EXPECT_EQ(app.library_page, 1u);
}

TEST_F(LibraryScreen, ShortTapsAndShortSwipesOpenTheBookUnderTheStart) {
  struct Case {
    const char* name;
    TapEvent t;
    bool opens;
    const char* book;
  } cases[] = {
      {"held 450 ms opens the details instead", tap(600, 300 + 232 + 50, 450), false, ""},
      {"held 449 ms", tap(600, 300 + 232 + 50, 449), true, "Book 02.epub"},
      {"a 200 px swipe is a tap", tap(600, 300 + 10, 100, 400), true, "Book 01.epub"},
      {"below the last item", tap(600, 300 + 3 * 232 + 10), true, "Book 04.epub"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    books(4);
    app.view = AppView::Library;
    app.reader.book_open = false;
    if (!c.opens) touches_.touch(kBackTapX, kBackTapY);  // leaves the details
    library_handle_touch(c.t);
    EXPECT_TRUE(ScriptedTouch::done());
    EXPECT_EQ(app.reader.book_open, c.opens);
    if (c.opens) {
      EXPECT_EQ(app.view, AppView::Reader);
      EXPECT_EQ(std::string(path_file_name(app.reader.open_path)), c.book);
    }
  }
}

TEST_F(LibraryScreen, GridToggleIsSavedAtOnce) {
  books(1);
  library_handle_touch(tap(W() - 100, 250));
  EXPECT_TRUE(ui_state.grid);
  EXPECT_NE(read_file(root_.state("ui.txt")).find("grid"), std::string::npos);
  library_handle_touch(tap(W() - 100, 250));
  EXPECT_FALSE(ui_state.grid);
}

TEST_F(LibraryScreen, SearchThroughTheKeyboardAndClearIt) {
  books(7);
  app.library_page = 1;
  for (std::string_view k : {"0", "3", "Done"}) tap_key(k);
  library_handle_touch(tap(W() - 200, 250));
  EXPECT_EQ(library_search_text(), "03");
  EXPECT_EQ(library.view_count, 1u);
  EXPECT_EQ(app.library_page, 0u);
  EXPECT_EQ(library_sort_bar_text(), "\"03\"  ·  1 FOUND");

  for (std::string_view k : {"Del", "Cancel"}) tap_key(k);
  library_handle_touch(tap(W() - 200, 250));
  EXPECT_EQ(library_search_text(), "03") << "a cancelled keyboard changes nothing";

  for (std::string_view k : {"Del", "Del", "Done"}) tap_key(k);
  library_handle_touch(tap(W() - 200, 250));
  EXPECT_EQ(library_search_text(), "");
  EXPECT_EQ(library.view_count, 7u);
  EXPECT_EQ(library_sort_bar_text(), "TITLE  ·  ALL  ·  7");
  EXPECT_TRUE(ScriptedTouch::done());
}

TEST_F(LibraryScreen, SortBarShowsTheFilterInCapitals) {
  books(2);
  struct Case {
    uint8_t sort, filter;
    const char* author;
    const char* text;
  } cases[] = {
      {SORT_RECENT, FILTER_ALL, "", "RECENT  ·  ALL  ·  2"},
      {SORT_AUTHOR, FILTER_UNREAD, "", "AUTHOR  ·  UNREAD  ·  2"},
      {SORT_TITLE, FILTER_AUTHOR, "a. Writer", "TITLE  ·  A. WRITER  ·  2"},
      {SORT_TITLE, FILTER_AUTHOR, "", "TITLE  ·  2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ui_state.sort = c.sort;
    ui_state.filter = c.filter;
    snprintf(library.filter_author, sizeof library.filter_author, "%s", c.author);
    library.view_count = 2;
    EXPECT_EQ(library_sort_bar_text(), c.text);
  }
}

TEST_F(LibraryScreen, EmptyLibraryShowsItsTextAndNoPager) {
  library_rescan_documents();
  library_view_draw();
  EXPECT_EQ(library_sort_bar_text(), "RECENT  ·  ALL  ·  0");
  EXPECT_GT(dark_count(48, 380, W() - 96, 120), 500) << "the No books yet text";
  EXPECT_EQ(dark_count(0, H() - 200, W(), 100), 0) << "no pager";
}

TEST_F(LibraryScreen, NewBookBandAndStatuses) {
  books(3);
  const std::string_view last = path_file_name(ql_entries()[2].path);
  new_books.loaded = true;
  std::copy(last.begin(), last.end(), new_books.names[0].data());
  new_books.count = 1;
  library_record_for("Book 02.epub", 12).percent = 42;
  library_record_for("Book 01.epub", 12).read = 1;
  library_rebuild_view();
  library_view_draw();
  // The new book leads the list with a black band over its cover's top.
  EXPECT_EQ(ql_entries()[library.view_list[0]].title, "Book 03");
  EXPECT_GT(dark_count(50, 313, 144, 42), 144 * 42 * 3 / 4);
  EXPECT_LT(dark_count(50, 300 + 232 + 13, 144, 42), 144 * 42 / 10) << "the next row has no band";
  EXPECT_EQ(library_item_status(library.view_list[0]), "New");
  EXPECT_EQ(library_item_status(library.view_list[1]), "Read");
  EXPECT_EQ(library_item_status(library.view_list[2]), "42%");
}

TEST_F(LibraryScreen, CoversAreQueuedWhileBrowsingAndDecodedForTheScreenshot) {
  books(5);
  ui_state.grid = true;
  library_view_draw();
  EXPECT_EQ(app.covers.count, 3u) << "the page's three covers wait for the main loop";
  EXPECT_FALSE(app.covers.deferred) << "other screens decode their covers at once";
  EXPECT_EQ(px(48 + 150, 300 + 300), 255) << "a placeholder meanwhile";

  app.screenshot.on = true;
  library_view_draw();
  EXPECT_EQ(app.covers.count, 0u);
  EXPECT_NEAR(px(48 + 150, 300 + 300), 41, 2) << "Book 01's grey cover";
  app.screenshot.on = false;
  library_view_draw();
  EXPECT_EQ(app.covers.count, 0u) << "now cached";
}

TEST_F(LibraryScreen, MultiFileAudiobookShowsItsFolder) {
  root_.put("Stories/My Story/part1.mp3", "x");
  root_.put("Stories/My Story/part2.mp3", "x");
  library_rescan_documents();
  ASSERT_EQ(library.view_count, 1u);
  EXPECT_EQ(library_item_label(library.view_list[0]), "My Story");
  library_view_draw();
  EXPECT_GT(dark_count(232, 300 + 100, 500, 50), 100) << "Audiobook  ·  New";
}
}  // namespace

// A cover decoded after the page was drawn goes in under the "NEW" band, in the list and the grid.
TEST_F(LibraryScreen, DecodedCoverLeavesTheNewBandDrawn) {
  books(1);
  const std::string_view name = path_file_name(ql_entries()[0].path);
  for (bool grid : {false, true}) {
    SCOPED_TRACE(grid ? "grid" : "list");
    new_books = NewBooks{};
    new_books.loaded = true;
    std::copy(name.begin(), name.end(), new_books.names[0].data());
    new_books.count = 1;
    ui_state.grid = grid;
    library_rebuild_view();
    cover_cache_clear();
    cover_jobs_clear();
    app.covers.deferred = true;
    library_view_draw();
    app.covers.deferred = false;
    ASSERT_EQ(app.covers.count, 1u);
    const CoverJob& job = app.covers.jobs[0];
    const int band = static_cast<int>(job.keep_top);
    ASSERT_GT(band, 0);
    const int w = static_cast<int>(job.w);
    const int band_dark = dark_count(job.x, job.y, w, band);
    EXPECT_GT(band_dark, w * band / 2) << "the band is white text on black";
    const std::vector<uint8_t> cover(size_t{job.w} * job.h, 200);
    cover_job_draw(job, cover.data());
    EXPECT_EQ(dark_count(job.x, job.y, w, band), band_dark);
    EXPECT_EQ(px(job.x + w / 2, job.y + static_cast<int>(job.h) / 2), 200);
    EXPECT_EQ(px(job.x, job.y + static_cast<int>(job.h) / 2), 0) << "framed";
    cover_jobs_clear();
  }
}
