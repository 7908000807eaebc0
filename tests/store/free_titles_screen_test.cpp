// The free-title screens driven by scripted taps, downloading from the local server: the menu,
// a list, the format choice, the confirmation, the progress screen and the list update.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/ui/ui_wait.h"
#include "store/free_titles.h"
#include "store_screen_fixture.h"
#include "support/zip_writer.h"

namespace {

class FreeTitlesScreen : public StoreScreen {
 protected:
  void SetUp() override {
    StoreScreen::SetUp();
    ASSERT_TRUE(server_.ready());
    server_.configure(root_);
  }
  // A list line whose file the server serves.
  std::string row(const std::string& source, const std::string& kind, const std::string& title,
                  const std::string& author, const std::string& format, uint64_t bytes,
                  const std::string& file) const {
    return source + "\t" + kind + "\t" + title + "\t" + author + "\t" + format + "\t" +
           std::to_string(bytes) + "\t" + server_.url("/files/" + file) + "\n";
  }
  DownloadServer server_;
};

TEST_F(FreeTitlesScreen, MenuListFormatsConfirmAndDownload) {
  const std::string book = std::string(150000, 'e');
  server_.serve("pp.epub", book);
  write_file(root_.state("catalog.tsv"),
             row("orvane", "book", "Pride: and Prejudice?", "Jane Austen", "epub", book.size(), "pp.epub") +
                 row("orvane", "book", "Pride: and Prejudice?", "Jane Austen", "pdf", 55720385, "pp.pdf") +
                 row("orvane", "book", "Walden", "", "epub", 1000, "w.epub") +
                 row("orvane", "audio", "Sea Songs", "Anon", "zip", 5000, "s.zip") +
                 row("corvell", "book", "House Guide", "Corvell", "epub", 100, "h.epub"));
  shot("menu");
  tap_row(0);  // Orvane Institute books: 2
  shot("list");
  tap_row(0);  // Pride and Prejudice, in two formats
  shot("formats");
  tap_row(0);  // EPUB
  shot("confirm");
  tap_confirm_action();
  touches_.at_wait([] { eventually([] { return !running(); }); });
  touches_.event(HOST_POINTER_DOWN, 500, 1000, 2500);  // after the progress screen's poll
  touches_.event(HOST_POINTER_UP, 500, 1000, 40);       // dismisses "Added to your library"
  shot("list-after");
  tap_back();
  shot("menu-after");
  tap_back();
  free_books_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  // Forbidden characters became spaces, kept inside, trimmed at the ends.
  EXPECT_EQ(read_file(doc("Pride  and Prejudice.epub")), book);
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_IDLE);
  // Four rows (the Corvell row shows), no download row; the format menu has two rows.
  EXPECT_LT(shot_darkest("menu", 48, row_y(3) - 40, 600, 60), 100);
  EXPECT_EQ(shot_darkest("menu", 48, row_y(4) - 40, 600, 60), 255);
  EXPECT_LT(shot_darkest("formats", 48, row_y(1) - 40, 600, 60), 100);
  EXPECT_EQ(shot_darkest("formats", 48, row_y(2) - 40, 600, 60), 255);
  EXPECT_TRUE(has_shot("confirm"));
}

TEST_F(FreeTitlesScreen, SearchNarrowsALongList) {
  std::string list;
  for (int i = 0; i < 14; ++i) {
    list += row("orvane", "audio", "Title " + std::to_string(i), "Someone", "mp3", 100, "t.mp3");
  }
  list += row("orvane", "audio", "Whale Song", "Ishmael", "mp3", 120, "whale.mp3");
  write_file(root_.state("catalog.tsv"), list);
  server_.serve("whale.mp3", std::string(120, 'w'));
  tap_row(1);  // audiobooks
  shot("long");
  tap_row(0);  // Search this list
  type("ishm");
  shot("found");
  tap_row(1);  // the one title found, by its author
  tap_confirm_action();
  touches_.at_wait([] { eventually([] { return !running(); }); });
  touches_.event(HOST_POINTER_DOWN, 500, 1000, 2500);
  touches_.event(HOST_POINTER_UP, 500, 1000, 40);
  tap_back();
  tap_back();
  free_books_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(read_file(doc("Whale Song.mp3")), std::string(120, 'w'));
  // The search row and one title; nothing below.
  EXPECT_LT(shot_darkest("found", 48, row_y(1) - 40, 600, 60), 100);
  EXPECT_EQ(shot_darkest("found", 48, row_y(2) - 40, 600, 60), 255);
}

TEST_F(FreeTitlesScreen, NotEnoughSpaceStartsNothing) {
  write_file(root_.state("catalog.tsv"),
             row("orvane", "book", "Enormous", "", "epub", uint64_t{1} << 62, "e.epub"));
  tap_row(0);
  tap_row(0);
  shot("no-room");
  touches_.touch(500, 1000);  // dismisses the message
  tap_back();
  tap_back();
  free_books_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_IDLE);
  EXPECT_EQ(entries_in(docs()), 0u);
  // The message box over the bottom of the list.
  EXPECT_LT(shot_darkest("no-room", 100, H() - 150, W() - 200, 40), 100);
}

TEST_F(FreeTitlesScreen, UpdateReplacesTheListOnlyWithAUsableOne) {
  const std::string newer = row("orvane", "book", "Fresh", "", "epub", 10, "f.epub") +
                            row("orvane", "book", "Fresher", "", "epub", 10, "g.epub");
  write_file(root_.state("catalog.tsv"), row("orvane", "book", "Old", "", "epub", 1, "o.epub"));
  // No list on the server: the old one stays.
  tap_row(2);  // Update the lists (no Corvell row)
  tap_confirm_action();
  touches_.touch(500, 1000);  // dismisses the outcome
  tap_back();
  free_books_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_NE(read_file(root_.state("catalog.tsv")).find("\tOld\t"), std::string::npos);
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_IDLE);

  server_.serve("free.tsv", newer);
  tap_row(2);
  tap_confirm_action();
  touches_.touch(500, 1000);
  shot("updated");
  tap_back();
  free_books_screen();
  EXPECT_EQ(read_file(root_.state("catalog.tsv")), newer);
  EXPECT_FALSE(file_exists(root_.state("catalog-new.tsv")));
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_IDLE);
}

// The confirmation names the site as the list is fetched from it, port and all; the outcome counts
// every row of the new list, whatever the case of its formats.
TEST_F(FreeTitlesScreen, UpdateNamesTheSiteWithItsPortAndCountsEveryRow) {
  write_file(root_.state("catalog.tsv"), row("orvane", "book", "Old", "", "epub", 1, "o.epub"));
  server_.serve("free.tsv", row("orvane", "book", "Emma", "", "EPUB", 10, "e.epub") +
                                row("orvane", "book", "Emma", "", "fb2.zip", 10, "e.fb2.zip") +
                                row("orvane", "audio", "Sea", "", "ZIP", 10, "s.zip") +
                                row("orvane", "book", "Walden", "", "epub", 10, "w.epub"));
  shot("menu");
  tap_row(2);  // Update the lists
  shot("confirm");
  tap_confirm_action();
  shot("outcome");
  touches_.touch(500, 1000);
  tap_back();
  free_books_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_shows_toast("outcome", "The lists are up to date: 4 files."));
  // The same box drawn over the same menu with the host and its port.
  ASSERT_TRUE(has_shot("confirm"));
  std::copy(pixels("menu").begin(), pixels("menu").end(), ql_fb().pixels);
  shot("expected");
  tap_confirm_cancel();
  const std::string question = "Fetch the newest list of free titles from " + server_.host() +
                               "? Only the list is fetched, no books.";
  EXPECT_FALSE(ui_confirm(question.data(), question.size(), "Fetch", 5));
  EXPECT_TRUE(pixels("confirm") == pixels("expected"));
}

TEST_F(FreeTitlesScreen, AFailureAfterTheScreenWasLeftIsToldAtTheNextWait) {
  ASSERT_EQ(ql_dl_start(server_.url("/files/none.epub").c_str(), "/mnt/us/documents/None.epub", 0),
            1);
  ASSERT_TRUE(eventually([] { return !running(); }));
  ASSERT_EQ(ql_dl_state(nullptr, nullptr), DL_FAILED);
  shot("told");
  TapEvent event;
  ui_wait_event(event);
  EXPECT_EQ(event.code, TAP_REDRAW);
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_IDLE);
  EXPECT_LT(shot_darkest("told", 100, H() - 150, W() - 200, 40), 100);
}

// With no servers file nothing is fetched: the screens say where a server is set instead.
TEST_F(FreeTitlesScreen, WithoutServersTheScreensSayWhereToSetThem) {
  std::remove(root_.host("us/ql/servers.conf").c_str());
  tap_row(0);  // Orvane Institute books: the built-in list has no download host
  shot("no-download-host");
  touches_.touch(500, 1000);
  tap_row(2);  // Update the lists
  shot("no-site");
  touches_.touch(500, 1000);
  tap_back();
  free_books_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_TRUE(shot_shows_toast("no-download-host",
                               "No download server is set yet: add \"publisher-downloads\" to "
                               "ql/servers.conf in the data folder."));
  EXPECT_TRUE(shot_shows_toast(
      "no-site",
      "No server is set for the lists yet: add \"site\" to ql/servers.conf in the data folder."));
  EXPECT_EQ(ql_dl_state(nullptr, nullptr), DL_IDLE);
  EXPECT_EQ(server_.requests(), "");
}

TEST(FreeTitleSpace, NeedsGrowWithTheSizeAndDoubleForArchives) {
  const struct {
    const char* format;
    uint64_t bytes;
    int64_t need;
  } cases[] = {{"zip", 792227861, 1792}, {"fb2.zip", 792227861, 1792}, {"epub", 841330, 50},
               {"pdf", 55720385, 111},   {"mp3", 0, 50}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const FreeTitle t{"orvane", "book", "T", "", c.format, c.bytes, "https://dl.example.org/t"};
    EXPECT_EQ(free_title_space_needed_mb(t), c.need);
  }
}

}  // namespace
