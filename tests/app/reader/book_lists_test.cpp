// The reader's side screens driven with scripted touches on a book built here: the contents at
// several depths, a note edited and deleted, a bookmark followed and deleted, a PDF region
// highlight, and the in-book search with its jump and "back to" mark.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/reader/book_lists.h"
#include "app/reader/book_search.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_open.h"
#include "app/reader/reader_words.h"
#include "app/reader/region_note.h"
#include "app/reader/ui_goto_page.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_menu.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "book/pdf_adapter.h"
#include "book/toc.h"
#include "display/fonts.h"
#include "host/plat.h"
#include "support/epub_builder.h"
#include "support/pdf_builder.h"
#include "support/reader_book.h"
#include "support/ui_screen_fixture.h"

namespace {
constexpr int kRowTop = 226;
constexpr int kRowH = 116;
constexpr int kHoldMs = 600;

std::string chapter(int c) {
  static const char* kWords[] = {"river", "stone", "quiet", "morning", "lantern", "harbour", "window"};
  std::string body = "<h1>Chapter " + std::to_string(c) + "</h1>";
  for (int p = 0; p < 30; ++p) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += std::string(i ? " " : "") + kWords[(c * 3 + p + i) % 7];
    if (c == 3 && p == 10) text += " zephyr";
    body += "<p>" + text + ".</p>";
  }
  return body;
}

// Four chapters; the contents nest the second under the first and the third under the second.
std::string nested_book() {
  std::vector<std::string> bodies;
  for (int c = 1; c <= 4; ++c) bodies.push_back(chapter(c));
  EpubPlan plan = simple_book(bodies);
  plan.items.push_back(
      {"nav", "nav.xhtml", "application/xhtml+xml",
       xhtml("<nav epub:type=\"toc\"><ol><li><a href=\"text/ch1.xhtml\">One</a><ol><li>"
             "<a href=\"text/ch2.xhtml\">Two</a><ol><li><a href=\"text/ch3.xhtml\">Three</a></li>"
             "</ol></li></ol></li><li><a href=\"text/ch4.xhtml\">Four</a></li></ol></nav>"),
       "nav", false});
  return build_epub(plan);
}

// The centre of a keyboard key.
std::pair<int, int> key(std::string_view label, int w, int h) {
  for (int y = h - kKeyboardHeight; y < h; y += 10)
    for (int x = 0; x < w; x += 8)
      if (keyboard_key_at(x, y, w, h) == label) return {x + 20, y + 30};
  ADD_FAILURE() << "no key " << label;
  return {0, 0};
}

int row_y(int slot) { return kRowTop + slot * kRowH + kRowH / 2; }
int menu_row_y(int slot) { return kRowTop + slot * kListMenuRowHeight + kListMenuRowHeight / 2; }

class SideScreens : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    path_ = root_.host("us/nested.epub");
    write_file(path_, nested_book());
    book_open(path_.c_str(), path_.size());
    ASSERT_TRUE(app.reader.book_open);
    ASSERT_EQ(ql_toc_count(), 4u);
    ASSERT_GT(layout.page_count(), 12u);
  }
  void TearDown() override {
    close_test_book();
    ScreenTest::TearDown();
  }
  uint64_t chapter_page(size_t i) const { return layout_page_of_word(ql_toc()[i].pos); }
  // Runs a screen over the script so far; the screen must end before the script does.
  template <class Screen>
  void run(Screen screen) {
    ASSERT_NO_THROW(screen());
    EXPECT_TRUE(ScriptedTouch::done());
  }

  std::string path_;
};

TEST_F(SideScreens, ContentsIndentByLevelAndJumpSettingTheBackMark) {
  ASSERT_EQ(ql_toc()[1].level, 1u);
  ASSERT_EQ(ql_toc()[2].level, 2u);
  app.reader.page = chapter_page(2) + 1;  // inside "Three"
  const uint64_t from = app.reader.page;
  touches_.at_wait([&] {
    for (int level = 0; level < 3; ++level) {
      SCOPED_TRACE(level);
      const int top = kRowTop + level * kRowH + 40;
      // Nothing left of the row's indent, ink just after it.
      if (level > 0) {
        EXPECT_EQ(darkest(40, top, 48 + level * 36 - 44, 70), 255);
      }
      EXPECT_LT(darkest(48 + level * 36, top, 40, 70), 128);
    }
  });
  touches_.touch(300, row_y(5));  // below the last row: nothing
  touches_.touch(300, row_y(1));  // "Two"
  run([] { book_lists_screen(0); });
  EXPECT_EQ(app.reader.page, chapter_page(1));
  EXPECT_TRUE(app.reader.back_valid);
  EXPECT_EQ(app.reader.back_page, from);
}

TEST_F(SideScreens, BackInTheHeaderLeavesThePageAndTheMark) {
  app.reader.page = 3;
  touches_.touch(300, row_y(7));  // past the four rows
  touches_.touch(111, 150);
  run([] { book_lists_screen(0); });
  EXPECT_EQ(app.reader.page, 3u);
  EXPECT_FALSE(app.reader.back_valid);
}

TEST_F(SideScreens, NoteIsEditedThenDeletedAndEachChangeSaved) {
  ASSERT_EQ(qla_hl_add(ql_toc()[3].pos + 2, ql_toc()[3].pos + 4, "first"), 1);
  const auto [xx, xy] = key("x", W(), H());
  const auto [dx, dy] = key("Done", W(), H());
  touches_.touch(300, row_y(0), kHoldMs);
  touches_.touch(300, menu_row_y(0));  // "Edit note"
  touches_.touch(xx, xy);
  touches_.touch(dx, dy);
  touches_.at_wait([] { ASSERT_EQ(qla_hl_count(), 1u); });
  touches_.touch(111, 150);
  run([] { book_lists_screen(1); });
  ASSERT_EQ(qla_hl_count(), 1u);
  EXPECT_STREQ(qla_hls()[0].note, "firstx");
  qla_load(path_.c_str());
  EXPECT_STREQ(qla_hls()[0].note, "firstx") << "the edit is on disk";

  touches_.touch(300, row_y(0), kHoldMs);
  touches_.touch(300, menu_row_y(1));  // "Delete"
  touches_.touch(300, row_y(0));       // the empty list: nothing
  touches_.touch(111, 150);
  run([] { book_lists_screen(1); });
  EXPECT_EQ(qla_hl_count(), 0u);
  qla_load(path_.c_str());
  EXPECT_EQ(qla_hl_count(), 0u);
}

TEST_F(SideScreens, BookmarkIsFollowedAndADeleteOnTheLastListPageStepsBack) {
  // Ten bookmarks: nine on the first list page, one on the second.
  for (uint64_t i = 0; i < 10; ++i) ASSERT_EQ(qla_bm_add(i, "", 0), 1);
  app.reader.page = 11;
  touches_.touch(300, kRowTop + 9 * kRowH + 20);  // under the ninth row, above the pager: nothing
  touches_.touch(W() - 100, H() - 50);  // pager: the second list page
  touches_.touch(300, row_y(0), kHoldMs);
  touches_.touch(300, menu_row_y(1));  // "Delete"
  touches_.touch(300, row_y(4));       // the first list page again: bookmark 4
  run([] { book_lists_screen(2); });
  EXPECT_EQ(qla_bm_count(), 9u);
  EXPECT_EQ(app.reader.page, 4u);
  EXPECT_EQ(app.reader.back_page, 11u);
  EXPECT_TRUE(app.reader.back_valid);
}

TEST_F(SideScreens, PageKeysTurnTheListsPages) {
  for (uint64_t i = 0; i < 10; ++i) ASSERT_EQ(qla_bm_add(i, "", 0), 1);
  touches_.event(HOST_PAGE_KEY, 1);   // the second list page
  touches_.event(HOST_PAGE_KEY, 1);   // there is no third
  touches_.touch(300, row_y(0));      // bookmark 9
  run([] { book_lists_screen(2); });
  EXPECT_EQ(app.reader.page, 9u);
}

TEST_F(SideScreens, SearchListsHitsAndJumpsWithTheBackMark) {
  app.reader.page = 0;
  const auto [dx, dy] = key("Done", W(), H());
  touches_.touch(dx, dy);
  touches_.at_wait([&] { EXPECT_LT(darkest(40, kRowTop, W() - 80, kListMenuRowHeight), 128); });
  touches_.touch(300, menu_row_y(0));
  run([] { book_search("Zephyr", 6); });
  uint64_t hit = 0;
  ASSERT_EQ(ql_search("zephyr", &hit, 1), 1u);
  EXPECT_EQ(app.reader.page, layout_page_of_word(hit));
  EXPECT_GE(app.reader.page, chapter_page(2));
  EXPECT_TRUE(app.reader.back_valid);
  EXPECT_EQ(app.reader.back_page, 0u);
}

TEST_F(SideScreens, SearchWithoutHitsOrBackInTheResultsLeavesThePage) {
  app.reader.page = 5;
  const auto [dx, dy] = key("Done", W(), H());
  touches_.touch(dx, dy);
  run([] { book_search("absent", 6); });  // "No results" until its time runs out
  touches_.touch(dx, dy);
  touches_.touch(100, 150);  // back from the results
  run([] { book_search("lantern", 7); });
  EXPECT_EQ(app.reader.page, 5u);
  EXPECT_FALSE(app.reader.back_valid);
}

// A PDF of 25 pages with the word on pages 12 and 21.
class PdfSideScreens : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    PdfPlan plan;
    for (int p = 0; p < 25; ++p) {
      std::string text = p == 11 || p == 20 ? "A comet passes" : "Plain page";
      plan.pages.push_back({612, 792, 0, {{72, 300, 24, text}}});
    }
    plan.outline = {{"Start", 0, 0}, {"Middle", 11, 1}, {"End", 20, 0}};
    path_ = root_.host("us/doc.pdf");
    write_file(path_, build_pdf(plan));
    book_open(path_.c_str(), path_.size());
    ASSERT_TRUE(app.reader.book_open);
  }
  void TearDown() override {
    close_test_book();
    ScreenTest::TearDown();
  }
  std::string path_;
};

TEST_F(PdfSideScreens, SearchKeepsBooksAddedForAfterItAndJumpsToAHitPage) {
  app.library_page = 3;
  const auto [dx, dy] = key("Done", W(), H());
  touches_.touch(dx, dy);
  touches_.event(HOST_BOOKS_ADDED, 0, 0, 0);  // arrives while the pages are searched
  // The next poll between chunks: the event is held, not handled in the middle of the search.
  touches_.at_wait([] { EXPECT_EQ(app.library_page, 3u); });
  touches_.touch(300, menu_row_y(1));
  ASSERT_NO_THROW(book_search("comet", 5));
  EXPECT_EQ(app.library_page, 0u) << "the rescan ran after the search";
  EXPECT_EQ(app.reader.page, 20u);
  EXPECT_TRUE(app.reader.back_valid);
}

TEST_F(PdfSideScreens, ATapStopsTheSearchKeepingWhatWasFound) {
  const auto [dx, dy] = key("Done", W(), H());
  touches_.touch(dx, dy);
  touches_.event(HOST_APPEARANCE, 0, 0, 0);  // seen after the first ten pages; the search goes on
  touches_.event(HOST_POINTER_DOWN, 300, 700, 0);  // a tap after the next ten
  touches_.event(HOST_POINTER_UP, 300, 700, 0);
  touches_.at_wait([this] {
    // One hit, on page 12; page 21 was never searched.
    EXPECT_LT(darkest(40, kRowTop, W() - 80, kListMenuRowHeight), 128);
    EXPECT_EQ(darkest(40, kRowTop + kListMenuRowHeight, W() - 80, kListMenuRowHeight), 255);
  });
  touches_.touch(300, menu_row_y(0));
  ASSERT_NO_THROW(book_search("comet", 5));
  EXPECT_EQ(app.reader.page, 11u);
}

TEST_F(PdfSideScreens, NoteRowsShowTheRegionWordOrAPageNote) {
  const std::string region = note_format_region(10, 20, 30, 40, "comet");
  struct Case {
    const char* note;
    const char* row;
  };
  const Case cases[] = {
      {region.c_str(), "Highlight  \"comet\""},
      {"mark", "Highlight  \"page note\""},
      {"look here", "Note: look here  \xE2\x80\x94  \"page note\""},
      {"@r1,2|broken", "Note: @r1,2|broken  \xE2\x80\x94  \"page note\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Highlight h{4, 5, {}, 'y', 0};
    snprintf(h.note, sizeof h.note, "%s", c.note);
    EXPECT_EQ(book_lists_note_row(h), c.row);
  }
}

TEST_F(PdfSideScreens, ContentsFollowTheOutlineAndARegionHighlightCanOnlyBeDeleted) {
  ASSERT_EQ(ql_toc_count(), 3u);
  const std::string region = note_format_region(10, 20, 30, 40, "comet");
  ASSERT_EQ(qla_hl_add(11, 12, region.c_str()), 1);
  touches_.touch(300, row_y(1));  // "Middle"
  ASSERT_NO_THROW(book_lists_screen(0));
  EXPECT_EQ(app.reader.page, 11u);

  touches_.touch(300, row_y(0), kHoldMs);
  touches_.touch(300, menu_row_y(0));  // the one choice: "Delete"
  touches_.touch(111, 150);
  ASSERT_NO_THROW(book_lists_screen(1));
  EXPECT_EQ(qla_hl_count(), 0u);
}
}  // namespace

namespace {
TEST_F(SideScreens, SearchRowsShowThePageAndTheWordsAroundTheHit) {
  const uint64_t last = ql_word_count() - 1;
  struct Case {
    const char* name;
    uint64_t word;
    uint64_t from, to;  // the context's words
  };
  const Case cases[] = {
      {"near the start: from word 0", 2, 0, 10},
      {"in the middle", 500, 496, 508},
      {"at the end: fewer words after", last, last - 4, last + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char words[200];
    const std::string context(words_join_text(c.from, c.to, words, 120));
    const std::string row = book_search_row(c.word);
    EXPECT_EQ(row, ("p." + std::to_string(layout_page_of_word(c.word) + 1) + "   ..." + context + "...")
                       .substr(0, 159));
  }
}

TEST_F(SideScreens, NoteRowsTellNotesFromPlainHighlights) {
  const uint64_t w = ql_toc()[3].pos;
  char words[200];
  const std::string text(words_join_text(w, w + 2, words, 200));
  const std::string region = note_format_region(1, 2, 3, 4, "comet");
  struct Case {
    const char* note;
    std::string row;
  };
  const Case cases[] = {
      {"", "Highlight  \"" + text + "\""},
      {"mark", "Highlight  \"" + text + "\""},
      {"a thought", "Note: a thought  \xE2\x80\x94  \"" + text + "\""},
      {region.c_str(), "Highlight  \"" + text + "\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Highlight h{w, w + 2, {}, 'y', 0};
    snprintf(h.note, sizeof h.note, "%s", c.note);
    EXPECT_EQ(book_lists_note_row(h), c.row);
  }
}

TEST_F(SideScreens, TabsAndTheHoldThreshold) {
  ASSERT_EQ(qla_hl_add(ql_toc()[3].pos, ql_toc()[3].pos + 1, "n"), 1);
  ASSERT_EQ(qla_bm_add(7, "", 0), 1);
  app.reader.page = 2;
  touches_.touch(112, 150);                // x 112 is a tab, not back: "Contents" again
  const int notes_x = int(ql_measure("Contents", TS_UI_BOLD, 42)) + 174;
  touches_.touch(notes_x + 10, 150);       // "Notes"
  touches_.touch(300, row_y(0), 449);      // a short press on the note: a jump
  run([] { book_lists_screen(2); });
  EXPECT_EQ(app.reader.page, layout_page_of_word(ql_toc()[3].pos));

  touches_.touch(W() - 330, 150);  // "Bookmarks"
  touches_.touch(300, row_y(0), 450);  // held: the menu, and back from it
  touches_.touch(100, 150);
  touches_.touch(300, row_y(0));  // then a tap follows the bookmark
  run([] { book_lists_screen(0); });
  EXPECT_EQ(app.reader.page, 7u);
  EXPECT_EQ(qla_bm_count(), 1u);
}
TEST_F(SideScreens, PageInTheHeaderOpensTheKeypad) {
  app.reader.page = 1;
  const KeypadGeometry g = keypad_geometry(W(), H());
  touches_.touch(W() - 100, 150);  // "Page"
  // The keys "1", "2" and "Go": the left key of the first row, the middle one, the last row's right.
  touches_.touch(g.key_width / 2, g.top + g.row_height / 2);
  touches_.touch(g.key_width * 3 / 2, g.top + g.row_height / 2);
  touches_.touch(g.key_width * 5 / 2, g.top + g.row_height * 7 / 2);
  run([] { book_lists_screen(0); });
  EXPECT_EQ(app.reader.page, 11u);
  EXPECT_EQ(app.reader.back_page, 1u);
}
}  // namespace
