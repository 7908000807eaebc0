// The browse screen and the item page driven by scripted taps: pages and the pager, taps where no
// row is, search by title or author, the empty-catalogue retry, cover requests and tiles, and the
// basket fed from the item page.
#include <gtest/gtest.h>

#include "base/wyhash.h"
#include "display/framebuffer.h"
#include "store/store_basket.h"
#include "store/store_browse.h"
#include "store/store_covers.h"
#include "store_test_fixture.h"
#include "support/picture_fixtures.h"

namespace {
class Browse : public StoreTest {
 protected:
  // Loads `n` items titled "Book 1".."Book n" (so table index i is "Book i+1").
  void load_books(int n) {
    std::vector<std::string> members;
    for (int i = 1; i <= n; ++i)
      members.push_back(sku_json(std::string("s").append(std::to_string(i)),
                                 std::string("Book ").append(std::to_string(i)), 100 * i));
    load(members);
  }
  static int row_middle(int slot) {
    return kBrowseFirstRowTop + slot * kBrowseRowHeight + kBrowseRowHeight / 2;
  }
  void tap_row_item(int slot) { touches_.touch(600, row_middle(slot)); }
  void next_page() { touches_.touch(W() - 200, H() - 40); }
  void previous_page() { touches_.touch(200, H() - 40); }
  void leave() { touches_.touch(120, 160); }
  void search() { touches_.touch(W() - 100, 160); }
  void add_to_basket() { touches_.touch(500, 920); }
  void buy_now() { touches_.touch(500, 780); }
  static std::string key_of(const std::string& img) { return cache_key_hex(CacheKey(img)); }
  std::vector<uint16_t> basket() const { return {store.basket, store.basket + store.basket_count}; }
};
}  // namespace

TEST_F(Browse, GeometryAndHits) {
  const BrowseGeometry last = browse_geometry(9, 7, 1448);
  EXPECT_EQ(last.rows, 4u);
  EXPECT_EQ(last.pages, 3u);
  EXPECT_EQ(last.page, 2u);  // clamped
  EXPECT_EQ(last.shown, 1u);
  EXPECT_EQ(browse_geometry(0, 0, 1448).pages, 1u);
  EXPECT_EQ(browse_geometry(3, 0, 500).rows, 1u);  // a tiny screen still shows a row
  const BrowseGeometry full = browse_geometry(9, 0, 1448);
  struct Case {
    int x, y;
    BrowseTap what;
    size_t visible;
  } cases[] = {
      {100, 50, BrowseTap::Nothing, 0},    {100, 160, BrowseTap::Leave, 0},
      {500, 160, BrowseTap::Nothing, 0},   {1000, 160, BrowseTap::Search, 0},
      {1000, 280, BrowseTap::Basket, 0},   {500, 280, BrowseTap::Nothing, 0},
      {500, 320, BrowseTap::Item, 0},      {500, 1247, BrowseTap::Item, 3},
      {500, 1248, BrowseTap::Nothing, 0},  {500, 1338, BrowseTap::Nothing, 0},
      {536, 1339, BrowseTap::NextPage, 0}, {535, 1400, BrowseTap::PreviousPage, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    const BrowseHit hit = browse_hit(full, c.x, c.y, 1072, 1448);
    EXPECT_EQ(hit.what, c.what);
    if (c.what == BrowseTap::Item) {
      EXPECT_EQ(hit.visible, c.visible);
    }
  }
  // On the last page only its one row is there.
  EXPECT_EQ(browse_hit(last, 500, row_middle(0), 1072, 1448).visible, 8u);
  EXPECT_EQ(browse_hit(last, 500, row_middle(1), 1072, 1448).what, BrowseTap::Nothing);
}

TEST_F(Browse, PagesStopAtBothEndsAndEmptyPlacesDoNothing) {
  load_books(9);
  shot("page1");
  for (int i = 0; i < 3; ++i) next_page();  // the third stays on page 3
  tap_row_item(1);                          // no row there
  tap_row_item(0);                          // Book 9
  add_to_basket();
  for (int i = 0; i < 3; ++i) previous_page();
  touches_.touch(600, H() - 150);  // under the last row, above the pager
  tap_row_item(0);                 // Book 1
  add_to_basket();
  shot("after");
  leave();
  store_browse_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(basket(), (std::vector<uint16_t>{8, 0}));
  // A cover request for each page as it was shown, never twice in a row for one page.
  const std::vector<std::string> covers = script_.verb_lines("covers");
  ASSERT_EQ(covers.size(), 5u);
  std::string first = "sh /mnt/us/ql/bin/ql-store.sh covers";
  for (int i = 1; i <= 4; ++i) {
    const std::string img = "/covers/s" + std::to_string(i) + ".jpg";
    first += " " + key_of(img) + " 'https://shop.example.com" + img + "'";
  }
  EXPECT_EQ(covers[0], first + " >/dev/null 2>&1 &");
  EXPECT_NE(covers[2].find(key_of("/covers/s9.jpg")), std::string::npos);
  EXPECT_LT(shot_darkest("page1", W() / 2 - 100, H() - 80, 200, 60), 100);  // the pager
  EXPECT_LT(shot_darkest("after", W() - 300, 250, 250, 40), 100);           // "Basket (2)"
}

TEST_F(Browse, PageKeysTurnItsPages) {
  load_books(9);
  for (int i = 0; i < 3; ++i) touches_.event(HOST_PAGE_KEY, 1);  // the third stays on page 3
  tap_row_item(0);                                                // Book 9
  add_to_basket();
  touches_.event(HOST_PAGE_KEY, 0);
  tap_row_item(0);  // Book 5
  add_to_basket();
  leave();
  store_browse_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(basket(), (std::vector<uint16_t>{8, 4}));
}

TEST_F(Browse, CoversArriveWhileTheScreenWaits) {
  load_books(2);
  script_.covers[key_of("/covers/s1.jpg")] = grey_png(60, 90, 40);
  // Book 2's cover never comes: the screen polls for a while, then waits for touches only.
  EXPECT_THROW(store_browse_screen(), ScriptEnded);
  EXPECT_EQ(script_.verb_lines("covers").size(), 1u);
  const std::string tile = root_.state("covers/s" + key_of("/covers/s1.jpg") + "-148x204.g");
  EXPECT_EQ(read_file(tile).size(), size_t(148 * 204));
  EXPECT_FALSE(file_exists(root_.state("covers/s" + key_of("/covers/s2.jpg") + "-148x204.g")));
  // The tile is drawn as a picture, the other row's placeholder as paper.
  const int tile_x = 48 + 74, tile1_y = kBrowseFirstRowTop + 12 + 102;
  EXPECT_EQ(ql_mask()[size_t(tile1_y) * size_t(W()) + size_t(tile_x)], MASK_PICTURE);
  EXPECT_EQ(px(tile_x, tile1_y), 40);
  EXPECT_EQ(ql_mask()[size_t(tile1_y + kBrowseRowHeight) * size_t(W()) + size_t(tile_x)],
            MASK_PAPER);
  // The next visit draws the tile without the image.
  remove(root_.state("covers/s" + key_of("/covers/s1.jpg") + ".img").c_str());
  script_.covers.clear();
  shot("tile");
  EXPECT_THROW(store_browse_screen(), ScriptEnded);
  EXPECT_EQ(shot_darkest("tile", tile_x, tile1_y, 1, 1), 40);
}

TEST_F(Browse, AddressesTheStoreMayNotGiveAreNeverFetched) {
  load({sku_json("a", "Plain http", 1, "A", "EUR", ",\"img\":\"http://cdn.example/a.jpg\""),
        R"("b":{"format":"ebook","sku":"b","title":"No cover"})"});
  leave();
  store_browse_screen();
  EXPECT_TRUE(script_.verb_lines("covers").empty());
}

TEST_F(Browse, SearchByTitleOrAuthorThenNoMatch) {
  load({sku_json("m", "Moby Dick", 1, "HERMAN MELVILLE"), sku_json("w", "Walden", 2, "Thoreau"),
        sku_json("b", "Billy Budd", 3, "Herman Melville")});
  size_t found = 0;
  search();
  type("melv");
  touches_.at_wait([&found] { found = store.visible_count; });
  shot("found");
  search();
  type("zz");  // "melvzz"
  shot("none");
  leave();
  store_browse_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(found, 2u);
  EXPECT_STREQ(store.search, "melvzz");
  EXPECT_EQ(store.visible_count, 0u);
  EXPECT_LT(shot_darkest("none", 48, 370, 600, 60), 100);  // "No books match your search."
  EXPECT_EQ(shot_darkest("found", 48, 320 + 2 * kBrowseRowHeight, 600, kBrowseRowHeight - 10), 255);
  EXPECT_TRUE(script_.verb_lines("catalog").empty());
}

TEST_F(Browse, AnEmptyCatalogIsFetchedAgainBySearch) {
  script_.catalog.reset();
  shot("empty");
  search();
  touches_.at_wait([this] { script_.catalog = catalog_json({sku_json("n", "New Arrival", 5)}); });
  tap_key("Done");
  size_t shown = 0;
  touches_.at_wait([&shown] { shown = store.visible_count; });
  leave();
  store_browse_screen();
  EXPECT_EQ(script_.verb_lines("catalog").size(), 2u);
  EXPECT_EQ(shown, 1u);
  EXPECT_LT(shot_darkest("empty", 48, 370, 600, 60), 100);  // the catalogue message
}

TEST_F(Browse, ItemPageBasketAndBuyNow) {
  load_books(3);
  tap_row_item(1);  // Book 2
  shot("item");
  add_to_basket();
  tap_row_item(1);
  add_to_basket();  // already there: still one entry
  tap_row_item(2);
  buy_now();
  choose_method(2);                // Cancel: back to the list
  touches_.touch(W() - 150, 280);  // the basket
  shot("basket");
  tap_back();
  leave();
  store_browse_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(basket(), (std::vector<uint16_t>{1}));
  EXPECT_LT(shot_darkest("item", 48, 730, 400, 100), 100);   // "Buy now"
  EXPECT_LT(shot_darkest("basket", 48, 240, 400, 80), 100);  // Book 2's row
}

TEST_F(Browse, AFullBasketTakesNoMore) {
  load_books(31);
  fill_basket(kStoreBasketMax);
  tap_row_item(0);  // Book 1, already in the basket
  add_to_basket();
  for (int i = 0; i < 7; ++i) next_page();
  tap_row_item(2);  // the one item not in the basket
  add_to_basket();  // nothing: the item page stays
  tap_back();
  leave();
  store_browse_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(store.basket_count, kStoreBasketMax);
  EXPECT_FALSE(store_basket_add(30));
  EXPECT_TRUE(store_basket_add(5));
}

TEST_F(Browse, CoverCommandStaysWithinItsLength) {
  std::vector<std::string> members;
  for (int i = 0; i < 30; ++i) {
    // Addresses of 239 bytes with quotes in them: each pair takes some 290 bytes quoted.
    std::string img = "/";
    img.append(10, '\'').append(228 - std::to_string(i).size(), 'p').append(std::to_string(i));
    members.push_back(sku_json(std::string("s").append(std::to_string(i)),
                               std::string("T").append(std::to_string(i)), 1, "A", "EUR",
                               ",\"img\":\"" + img + "\""));
  }
  load(members);
  std::vector<uint16_t> all;
  for (uint16_t i = 0; i < 30; ++i) all.push_back(i);
  const std::string line = store_cover_command(all);
  ASSERT_FALSE(line.empty());
  EXPECT_LE(line.size(), 3997u);
  EXPECT_TRUE(line.ends_with("' >/dev/null 2>&1 &"));
  EXPECT_NE(line.find("'https://shop.example.com/'\\'''\\'''"), std::string::npos);
  // Whole pairs in table order, the later ones left out.
  const size_t pairs = size_t(std::count(line.begin(), line.end(), ' ')) - 4;
  EXPECT_GT(pairs / 2, 5u);
  EXPECT_LT(pairs / 2, 30u);
  EXPECT_TRUE(store_cover_command({}).empty());
}

TEST_F(Browse, ALongTitleStaysAboveTheButtons) {
  std::string title;
  for (int i = 0; i < 24; ++i) title += "Wordy ";
  load({sku_json("l", title, 1999)});
  tap_row_item(0);
  shot("long");
  tap_back();
  leave();
  store_browse_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_LT(shot_darkest("long", 380, 600, W() - 428, 50), 100);  // the price
  EXPECT_EQ(shot_darkest("long", 380, 660, W() - 428, 58), 255);  // clear above "Buy now"
}
