// The library menu driven by scripted touches on a real frame: sort, Show, view, search, authors
// and the collections dialog.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "display/framebuffer.h"
#include "host/host_queue.h"
#include "support/keyboard_touch.h"
#include "library/collections.h"
#include "library/library_menu.h"
#include "library/library_screen.h"
#include "library_screen_fixture.h"

namespace {

class LibraryMenu : public LibraryScreenTest {
 protected:
  void run_menu() {
    library_menu();
    EXPECT_TRUE(ScriptedTouch::done());
  }
};

enum Row { SORT, SHOW, VIEW, COLLECTIONS, AUTHORS, CLEAR, SETTINGS };

}  // namespace

TEST_F(LibraryMenu, RowsSetSortShowViewAndSearch) {
  root_.put("a.epub", epub_titled("A", "Kim"));
  root_.put("b.pdf", "x");
  library_rescan_documents();
  struct Case {
    const char* name;
    std::vector<int> taps;  // rows tapped in turn; -1 is back
    uint8_t sort, filter;
    bool grid;
    const char* search;
    uint64_t page;
  } cases[] = {
      {"back changes nothing", {-1}, SORT_RECENT, FILTER_ALL, false, "ab", 3},
      {"sort by title", {SORT, 1}, SORT_TITLE, FILTER_ALL, false, "ab", 0},
      {"back from the sort list", {SORT, -1}, SORT_RECENT, FILTER_ALL, false, "ab", 0},
      {"show docs", {SHOW, 2}, SORT_RECENT, FILTER_DOCS, false, "ab", 0},
      {"show read", {SHOW, 5}, SORT_RECENT, FILTER_READ, false, "ab", 0},
      {"view", {VIEW}, SORT_RECENT, FILTER_ALL, true, "ab", 0},
      {"clear search", {CLEAR}, SORT_RECENT, FILTER_ALL, false, "", 0},
      {"settings, left at once", {SETTINGS, -1}, SORT_RECENT, FILTER_ALL, false, "ab", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_state = UiState{};
    ui_state.appearance = 1;
    snprintf(library.search_query, sizeof library.search_query, "ab");
    app.library_page = 3;
    for (int t : c.taps) t < 0 ? tap_back() : tap_row(t);
    run_menu();
    EXPECT_EQ(ui_state.sort, c.sort);
    EXPECT_EQ(ui_state.filter, c.filter);
    EXPECT_EQ(ui_state.grid, c.grid);
    EXPECT_EQ(library_search_text(), c.search);
    EXPECT_EQ(app.library_page, c.page);
  }
  EXPECT_NE(read_file(root_.state("ui.txt")).find("filter=0"), std::string::npos);
}

TEST_F(LibraryMenu, CreateACollectionAndOpenIt) {
  root_.put("a.epub", epub_titled("A", "Kim"));
  root_.put("b.epub", epub_titled("B", "Kim"));
  library_rescan_documents();
  tap_row(COLLECTIONS);
  tap_row(0);
  type("poems");
  tap_row(1);
  tap_row(0);  // Open
  run_menu();
  EXPECT_EQ(read_file(root_.state("collections.tsv")), "C\tpoems\n");
  EXPECT_EQ(ui_state.filter, FILTER_COLLECTION);
  EXPECT_EQ(library.filter_collection, 0u);
  EXPECT_EQ(library_sort_bar_text(), "RECENT  ·  POEMS  ·  0");
  library.filter_collection = 1;  // gone from the table: the bar falls back to the plain label
  EXPECT_EQ(library_sort_bar_text(), "RECENT  ·  COLLECTION  ·  0");
  library.filter_collection = 0;
  EXPECT_NE(read_file(root_.state("ui.txt")).find("filter=6"), std::string::npos);

  const std::string name = "b.epub";
  ASSERT_TRUE(collection_add_book(0, name.data(), name.size()));
  library_rebuild_view();
  EXPECT_EQ(library.view_count, 1u);

  tap_row(COLLECTIONS);
  tap_row(0);
  type("poems");  // taken: nothing is made
  tap_back();
  run_menu();
  EXPECT_EQ(collections.count, 1u);
  EXPECT_EQ(library.view_count, 1u) << "the filter stays on the collection";
}

TEST_F(LibraryMenu, RenameAndDeleteFromTheDialog) {
  for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(collection_create(name));
  const std::string book = "x.epub";
  ASSERT_TRUE(collection_add_book(2, book.data(), book.size()));
  ui_state.filter = FILTER_COLLECTION;
  library.filter_collection = 1;
  tap_row(COLLECTIONS);
  tap_row(1);  // A
  tap_row(1);  // Rename
  tap_key("Del");
  type("z");
  tap_back();
  tap_row(2);  // B
  tap_row(2);  // Delete collection (books stay)
  tap_confirm_action();
  tap_back();
  run_menu();
  EXPECT_EQ(read_file(root_.state("collections.tsv")), "C\tz\nC\tC\nM\tC\tx.epub\n");
  EXPECT_EQ(ui_state.filter, FILTER_ALL);
}

TEST_F(LibraryMenu, AuthorsAreDistinctSortedAndPicked) {
  const char* authors[] = {"bo", "Al", "al", "", "al", "Ab"};
  for (size_t i = 0; i < std::size(authors); i++) {
    char title[8];
    snprintf(title, sizeof title, "T%zu", i);
    root_.put(std::string(title) + ".epub", epub_titled(title, authors[i]));
  }
  library_rescan_documents();
  EXPECT_EQ(library_menu_authors(), (std::vector<std::string>{"Ab", "Al", "al", "bo"}));
  tap_row(AUTHORS);
  tap_row(3);
  run_menu();
  EXPECT_EQ(ui_state.filter, FILTER_AUTHOR);
  EXPECT_STREQ(library.filter_author, "bo");
  EXPECT_EQ(library.view_count, 1u);
}

TEST_F(LibraryMenu, AuthorsListKeepsTheFirst300) {
  for (int i = 0; i < 301; i++) {
    char title[8], author[8];
    snprintf(title, sizeof title, "T%03d", i);
    snprintf(author, sizeof author, "w%03d", 300 - i);
    root_.put(std::string(title) + ".epub", epub_titled(title, author));
  }
  library_rescan_documents();
  const std::vector<std::string> shown = library_menu_authors();
  ASSERT_EQ(shown.size(), 300u);
  EXPECT_EQ(shown.front(), "w001");  // w000 belongs to the 301st entry
  EXPECT_EQ(shown.back(), "w300");
}
