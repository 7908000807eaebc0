// Book details driven by scripted touches on a real frame: marking read, collections, the move to
// the trash (never of another file), and a screen that survives redraws and long titles.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "display/framebuffer.h"
#include "host/host_queue.h"
#include "host/plat.h"
#include "library/book_details.h"
#include "library/collections.h"
#include "library/library_screen.h"
#include "library_screen_fixture.h"
#include "support/scripted_touch.h"

namespace {

class BookDetails : public LibraryScreenTest {
 protected:
  void button(int i) { touches_.touch(500, 760 + 136 * i); }
  // The details of the only book, run until the script's end.
  void run() {
    ASSERT_EQ(ql_entries().size(), 1u);
    book_details_screen(0);
    EXPECT_TRUE(ScriptedTouch::done());
  }
  bool exists(const std::string& host_path) {
    struct stat st {};
    return stat(host_path.c_str(), &st) == 0;
  }
};

enum Button { OPEN, MARK, ADD, REMOVE, DELETE };

}  // namespace

TEST(BookDetailsFileLine, TypeAndSize) {
  struct Case {
    const char* path;
    uint64_t bytes;
    const char* line;
  } cases[] = {
      {"/mnt/us/documents/a.epub", 1572864, "epub  ·  1.5 MB"},
      {"/mnt/us/documents/notes", 0, "?  ·  0.0 MB"},
      {"/mnt/us/documents/x.tar.pdf", 104857, "pdf  ·  0.1 MB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(book_details_file_line(c.path, c.bytes), c.line);
  }
}

TEST_F(BookDetails, MarkReadThenUnreadKeepsThePercentAndSurvivesRedraws) {
  root_.put("a.epub", epub_titled("A", "Kim"));
  library_rescan_documents();
  button(MARK);
  touches_.event(HOST_APPEARANCE);  // redraws the screen; it stays up
  touches_.at_wait([] {
    const std::string name = "a.epub";
    const ProgressRecord* r = library_find_record(name.data(), name.size());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->read, 1);
    EXPECT_EQ(r->percent, 100);
  });
  touches_.touch(500, 500);  // between the cover and the buttons: nothing
  button(MARK);
  tap_back();
  run();
  const std::string name = "a.epub";
  const ProgressRecord* r = library_find_record(name.data(), name.size());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->read, 0);
  EXPECT_EQ(r->percent, 100);
  EXPECT_EQ(read_file(root_.state("library.tsv")).find("a.epub"), 0u);
}

TEST_F(BookDetails, CollectionsFromDetails) {
  root_.put("a.epub", epub_titled("A", "Kim"));
  library_rescan_documents();
  button(ADD);
  touches_.touch(500, 500);  // ends "Create a collection first"
  button(REMOVE);
  touches_.touch(500, 500);  // ends "Not in any collection"
  tap_back();
  run();
  EXPECT_EQ(collections.membership_count, 0u);

  for (const char* name : {"poems", "sea"}) ASSERT_TRUE(collection_create(name));
  button(ADD);
  tap_row(1);
  button(ADD);
  tap_row(1);  // already there: nothing changes
  button(ADD);
  tap_row(0);
  tap_back();
  run();
  EXPECT_EQ(read_file(root_.state("collections.tsv")),
            "C\tpoems\nC\tsea\nM\tsea\ta.epub\nM\tpoems\ta.epub\n");

  button(REMOVE);
  tap_row(1);  // the second collection holding it: sea
  tap_back();
  run();
  EXPECT_EQ(read_file(root_.state("collections.tsv")), "C\tpoems\nC\tsea\nM\tpoems\ta.epub\n");
}

TEST_F(BookDetails, ABookNamedWithALineBreakIsRefusedWithAMessage) {
  root_.put("Old\nC\tPhantom.epub", epub_titled("Old", "Kim"));
  library_rescan_documents();
  ASSERT_TRUE(collection_create("sea"));
  button(ADD);
  touches_.at_wait([this] {
    EXPECT_LT(darkest(40, H() - 300, W() - 80, 230), 128) << "the message box";
  });
  tap_row(0);  // ends the message; a list would have taken it as a choice
  tap_back();
  run();
  EXPECT_EQ(collections.membership_count, 0u);
  EXPECT_EQ(read_file(root_.state("collections.tsv")), "C\tsea\n");
}

TEST_F(BookDetails, DeleteMovesToTheTrashUnderAFreeName) {
  root_.put("a.epub", epub_titled("A", "Kim"));
  mkdir(root_.host("us/ql/trash").c_str(), 0755);
  write_file(root_.host("us/ql/trash/a.epub"), "older");
  library_rescan_documents();
  button(DELETE);
  tap_confirm_cancel();  // Cancel: nothing moves
  button(DELETE);
  tap_confirm_action();
  run();
  EXPECT_FALSE(exists(root_.doc("a.epub")));
  EXPECT_EQ(read_file(root_.host("us/ql/trash/a.epub")), "older");
  EXPECT_TRUE(exists(root_.host("us/ql/trash/1 a.epub")));
  EXPECT_TRUE(ql_entries().empty()) << "the library was rescanned";
}

TEST_F(BookDetails, APathTooLongIsRefusedNeverCut) {
  root_.put("a.epub", "victim");
  // Cut to 4095 bytes, this path would name a.epub.
  std::string path = "/mnt/us/documents/";
  while (path.size() + 6 < kScanPathMax) path += "./";
  path.resize(kScanPathMax - 6, '/');
  path += "a.epub";
  ASSERT_EQ(path.size(), kScanPathMax);
  EXPECT_FALSE(book_move_to_trash(path + "x"));
  EXPECT_EQ(read_file(root_.doc("a.epub")), "victim");
  EXPECT_FALSE(exists(root_.host("us/ql/trash/a.epub")));
  EXPECT_FALSE(book_move_to_trash("/mnt/us/documents/missing.epub"));
}

TEST(BookDetailsButtons, EveryButtonFitsInBothOrientations) {
  const DetailsButtons portrait = book_details_buttons(1072, 1448);
  EXPECT_EQ(portrait.columns, 1);
  for (int i = 0; i < 5; i++) {
    EXPECT_EQ(portrait.left(i), 48);
    EXPECT_EQ(portrait.top_of(i), 700 + 136 * i);
  }
  EXPECT_EQ(portrait.width, 976);
  EXPECT_EQ(portrait.height, 120);
  const DetailsButtons land = book_details_buttons(1448, 1072);
  EXPECT_EQ(land.columns, 2);
  for (int i = 0; i < 5; i++) {
    SCOPED_TRACE(i);
    EXPECT_LE(land.top_of(i) + land.height, 1072 - 16) << "the frame ends on the screen";
    EXPECT_LE(land.left(i) + land.width, 1448 - 48);
    EXPECT_GE(land.height, 100);
  }
  struct Case {
    const DetailsButtons* b;
    int x, y, button;
  } cases[] = {
      {&portrait, 10, 699, -1},
      {&portrait, 10, 700, 0},
      {&portrait, 1060, 700 + 136 * 3 + 130, 3},  // the gap below a button is its own
      {&portrait, 500, 700 + 136 * 5, -1},
      {&land, 100, 710, 0},
      {&land, 1400, 710, 1},
      {&land, 48 + land.pitch_x - 1, 710, 0},
      {&land, 100, land.top_of(2) + 10, 2},
      {&land, 1000, land.top_of(3) + 10, 3},
      {&land, 100, land.top_of(4) + 10, 4},
      {&land, 1000, land.top_of(4) + 10, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    EXPECT_EQ(book_details_button_at(*c.b, c.x, c.y), c.button);
  }
}

TEST_F(BookDetails, LandscapeReachesRemoveAndDelete) {
  ql_set_rotation(1);
  ASSERT_EQ(W(), 1448);
  root_.put("a.epub", epub_titled("A", "Kim"));
  library_rescan_documents();
  const DetailsButtons b = book_details_buttons(W(), H());
  auto tap_button = [&](int i) { touches_.touch(b.left(i) + b.width / 2, b.top_of(i) + b.height / 2); };
  touches_.at_wait([&] {
    for (int i = 0; i < 5; i++) {
      SCOPED_TRACE(i);
      EXPECT_EQ(darkest(b.left(i), b.top_of(i) + b.height - 2, b.width, 2), 0) << "the frame's foot";
      EXPECT_LT(darkest(b.left(i) + 40, b.top_of(i) + 20, b.width - 80, b.height - 40), 128)
          << "its label";
    }
  });
  tap_button(REMOVE);
  touches_.at_wait([this] {
    EXPECT_LT(darkest(40, H() - 190, W() - 80, 120), 128) << "Not in any collection";
  });
  touches_.touch(500, 500);
  tap_button(DELETE);
  tap_confirm_action();
  run();
  EXPECT_FALSE(exists(root_.doc("a.epub")));
  EXPECT_TRUE(exists(root_.host("us/ql/trash/a.epub")));
}

// A title word wider than the title's box (a name without spaces) is cut inside the box, in both
// orientations.
TEST_F(BookDetails, ALongWordStaysInsideTheTitleBox) {
  root_.put("a.epub", epub_titled("Wide" + std::string(60, 'W') + " and more", "Kim"));
  library_rescan_documents();
  for (const uint32_t rotation : {0u, 1u}) {
    SCOPED_TRACE(rotation);
    ql_set_rotation(rotation);
    touches_.at_wait([this] {
      EXPECT_LT(darkest(380, 258, W() - 428, 60), 128) << "the title";
      EXPECT_EQ(darkest(W() - 47, kHeaderBottom + 1, 47, 700 - kHeaderBottom - 1), 255)
          << "nothing right of the box";
    });
    tap_back();
    run();
  }
}

TEST_F(BookDetails, ALongTitleStaysAboveTheButtons) {
  std::string title;
  for (int i = 0; i < 40; i++) title += "Longword ";
  root_.put("a.epub", epub_titled(title, "Kim"));
  library_rescan_documents();
  touches_.at_wait([] {
    const Framebuffer& fb = ql_fb();
    int dark = 0;
    // Inside the first button, right of its label and its border.
    for (int y = 710; y < 812; y++) {
      for (int x = 400; x < fb.width - 60; x++) dark += fb.pixels[y * fb.width + x] < 128;
    }
    EXPECT_EQ(dark, 0);
  });
  tap_back();
  run();
}
