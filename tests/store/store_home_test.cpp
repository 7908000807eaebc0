// The store's home screen driven by scripted taps: its rows, the search box, the basket footer and
// the download from a link.
#include <gtest/gtest.h>

#include "app/ui/app_state.h"
#include "store/store_home.h"
#include "store_test_fixture.h"
#include "support/epub_builder.h"

namespace {
class Home : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    app.view = AppView::Store;
  }
  void TearDown() override {
    app.view = AppView::Library;
    StoreTest::TearDown();
  }
  static int row_middle(int row) { return 410 + row * 132 + 66; }
  void leave_browse() { touches_.touch(120, 160); }
};
}  // namespace

TEST_F(Home, RowsSearchBoxAndBasketFooter) {
  load({sku_json("m", "Moby Dick", 1, "Melville"), sku_json("w", "Walden", 2, "Thoreau")});
  shot("home");
  touches_.touch(500, row_middle(0));  // Browse the collection
  shot("browse");
  leave_browse();
  touches_.touch(500, 300);  // the search box
  type("wal");
  size_t found = 0;
  touches_.at_wait([&found] { found = store.visible_count; });
  leave_browse();
  touches_.touch(500, H() - 60);  // the bottom band: nothing
  touches_.touch(500, 970);       // no basket yet: the gap under the rows
  touches_.at_wait([] {
    store.basket[0] = 0;
    store.basket_count = 1;
  });
  touches_.touch(500, H() - 60);
  shot("with-basket");
  touches_.touch(500, 970);  // the basket footer
  shot("basket");
  tap_back();
  touches_.touch(500, row_middle(1));  // Free books
  shot("free");
  tap_back();
  touches_.touch(500, row_middle(3));  // Orders and payments
  shot("orders");
  tap_back();
  EXPECT_THROW(store_home_screen(), ScriptEnded);  // the home screen stays up
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(found, 1u);
  EXPECT_STREQ(store.search, "wal");
  EXPECT_LT(shot_darkest("home", 48, 450, 500, 60), 100);         // "Browse the collection"
  EXPECT_EQ(shot_darkest("home", 48, 940, 500, 60), 255);         // no basket footer
  EXPECT_LT(shot_darkest("with-basket", 48, 940, 500, 60), 100);  // "Basket (1)"
  EXPECT_LT(shot_darkest("browse", 48, 250, 400, 40), 100);       // "2 ebooks"
  EXPECT_LT(shot_darkest("basket", 48, 240, 400, 80), 100);       // the basket's row
  // Each row opened a screen of its own.
  EXPECT_NE(pixels("free"), pixels("home"));
  EXPECT_NE(pixels("orders"), pixels("home"));
  EXPECT_NE(pixels("orders"), pixels("free"));
}

TEST_F(Home, DownloadFromALinkOpensTheBook) {
  const std::string book = docs() + "/Linked.epub";
  write_file(book, build_epub(simple_book({"<p>Linked text.</p>"})));
  script_.downloaded = "/mnt/us/documents/Linked.epub\n \r\n";
  touches_.touch(500, row_middle(2));
  type("example.org/a.epub");
  store_home_screen();  // returns once the reader is the view
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(app.view, AppView::Reader);
  EXPECT_STREQ(app.reader.open_path, "/mnt/us/documents/Linked.epub");
  EXPECT_EQ(script_.verb_lines("get"),
            std::vector<std::string>{"sh /mnt/us/ql/bin/ql-store.sh get "
                                     "'https://example.org/a.epub' >/tmp/ql-dl.path 2>/dev/null"});
  EXPECT_FALSE(file_exists(root_.host("tmp/ql-dl.path")));
}

TEST_F(Home, DownloadFailuresOpenNothing) {
  struct Case {
    const char* name;
    std::optional<std::string> answer;
    bool stale_file;
    bool message;
  } cases[] = {
      {"blank answer", " \n", false, true},
      {"no answer", std::nullopt, false, false},
      {"old answer left over", std::nullopt, true, false},
      // Only a regular file the script stored inside the documents folder is opened.
      {"outside the documents folder", "/mnt/us/ql/state/secret.epub\n", false, true},
      {"climbing out", "/mnt/us/documents/../ql/state/secret.epub\n", false, true},
      {"a folder", "/mnt/us/documents/Folder.epub\n", false, true},
      {"not there", "/mnt/us/documents/Never.epub\n", false, true},
  };
  const std::string book = docs() + "/Old.epub";
  write_file(book, build_epub(simple_book({"<p>Old.</p>"})));
  write_file(root_.state("secret.epub"), build_epub(simple_book({"<p>Not in the library.</p>"})));
  mkdir((docs() + "/Folder.epub").c_str(), 0755);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script_.downloaded = c.answer;
    if (c.stale_file) write_file(root_.host("tmp/ql-dl.path"), "/mnt/us/documents/Old.epub\n");
    touches_.touch(500, row_middle(2));
    type("example.org/b");
    if (c.message) shot("failed");
    EXPECT_THROW(store_home_screen(), ScriptEnded);
    EXPECT_EQ(app.view, AppView::Store);
    EXPECT_EQ(script_.verb_lines("get").size(), 1u);
    if (c.message) {
      EXPECT_TRUE(shot_shows_toast("failed", "Download failed. Check the link and Wi-Fi."));
    }
    script_.lines.clear();
  }
  // Too short a link, or Cancel, runs nothing.
  touches_.touch(500, row_middle(2));
  tap_key("Done");  // "https://" alone
  touches_.touch(500, row_middle(2));
  tap_key("Cancel");
  EXPECT_THROW(store_home_screen(), ScriptEnded);
  EXPECT_TRUE(script_.lines.empty());
}
