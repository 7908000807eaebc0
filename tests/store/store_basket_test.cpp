// The basket screen driven by scripted taps: rows over several pages, removing, totals per currency
// and the checkout it starts.
#include <gtest/gtest.h>

#include "store/store_basket.h"
#include "store_test_fixture.h"

namespace {
class Basket : public StoreTest {
 protected:
  void load_books(int n, const std::string& currency = "EUR") {
    std::vector<std::string> members;
    for (int i = 0; i < n; ++i) {
      char title[32];
      snprintf(title, sizeof title, "Book %02d", i);
      // Appended rather than added: the optimised build's string inlining warns about the sum.
      const std::string sku = std::string("s").append(std::to_string(i));
      members.push_back(sku_json(sku, title, 100 + i, "A", currency));
    }
    load(members);
  }
  static int row_middle(size_t slot) {
    return kBasketFirstRowTop + int(slot) * kBasketRowHeight + 60;
  }
  void remove_row(size_t slot) { touches_.touch(W() - 100, row_middle(slot)); }
  std::vector<uint16_t> basket() const { return {store.basket, store.basket + store.basket_count}; }
};
}  // namespace

TEST_F(Basket, PagesAndRemoving) {
  load_books(10);
  fill_basket(10);
  const BasketGeometry g = basket_geometry(10, 0, H());
  ASSERT_EQ(g.rows, 6u);
  ASSERT_EQ(g.pages, 2u);
  shot("page1");
  remove_row(1);                                // Book 01
  touches_.touch(W() - 150, g.pager_top + 40);  // next page
  shot("page2");
  remove_row(2);                          // the last row: Book 09
  remove_row(2);                          // nothing there any more
  touches_.touch(500, row_middle(0));     // not on "Remove": nothing
  touches_.touch(150, g.pager_top + 40);  // back to the first page
  tap_back();
  store_basket_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(basket(), (std::vector<uint16_t>{0, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_LT(shot_darkest("page1", W() / 2 - 100, g.pager_top + 20, 200, 60), 100);  // the pager
  EXPECT_LT(shot_darkest("page2", 48, row_middle(2) - 40, 300, 60), 100);  // 3 rows on page 2
  EXPECT_EQ(shot_darkest("page2", 48, row_middle(3) - 40, 300, 60), 255);
}

TEST_F(Basket, PageKeysTurnItsPages) {
  load_books(10);
  fill_basket(10);
  touches_.event(HOST_PAGE_KEY, 1);
  remove_row(2);  // the second page's third row: Book 08
  touches_.event(HOST_PAGE_KEY, 0);
  remove_row(0);  // the first page's first: Book 00
  tap_back();
  store_basket_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(basket(), (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 9}));
}

TEST_F(Basket, TotalsPerCurrency) {
  load({sku_json("e1", "Euro One", 500), sku_json("e2", "Euro Two", 250),
        sku_json("u1", "Usd One", 300, "A", "USD"), sku_json("x1", "No Code", 1, "A", ""),
        sku_json("b", "Big", INT64_MAX), sku_json("b2", "Big Two", 5)});
  // Sorted: Big, Big Two, Euro One, Euro Two, No Code, Usd One.
  struct Case {
    std::vector<uint16_t> items;
    const char* text;
  } cases[] = {
      {{}, "Total €0.00"},
      {{2, 3}, "Total €7.50"},
      {{2, 5, 3}, "Total €7.50 + $3.00"},
      {{4, 2}, "Total €5.01"},  // no code is the euro
      {{5}, "Total $3.00"},
      {{0, 1}, "Total €92233720368547758.07"},  // stops at the limit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(store_totals_text(c.items), c.text);
  }
  EXPECT_EQ(store_format_total(1205, "USD"), "Total $12.05");
  EXPECT_EQ(store_basket_label(3), "Basket (3)");
}

TEST_F(Basket, EmptyBasketAndCheckoutThatFails) {
  load_books(2);
  shot("empty");
  touches_.touch(500, H() - 100);  // no Checkout on an empty basket
  tap_back();
  store_basket_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_LT(shot_darkest("empty", 48, 270, 500, 60), 100);  // "Your basket is empty."
  // A checkout that does not complete leaves the screen and keeps the basket.
  fill_basket(2);
  shot("two");
  touches_.touch(500, H() - 100);
  choose_method(2);
  store_basket_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(basket(), (std::vector<uint16_t>{0, 1}));
  EXPECT_LT(shot_darkest("two", 48, H() - 270, 400, 60), 100);  // the total
}

TEST_F(Basket, APaidCheckoutEmptiesTheBasketAndForgetsItsId) {
  load_books(3);
  fill_basket(2);
  script_.checkout = R"({"orderId":"ORD-9","viewKey":"v9","payUrl":"/basket/pay?order=9"})";
  touches_.touch(500, H() - 100);  // Checkout
  choose_method(1);
  agree();
  touches_.at_wait([this] { write_file(root_.state("store-pay.state"), "ready\nORD-9\n"); });
  store_basket_screen();
  EXPECT_TRUE(ScriptedTouch::done());
  EXPECT_EQ(store.basket_count, 0u);
  EXPECT_EQ(store.basket_id[0], '\0');
  EXPECT_FALSE(file_exists(root_.state("store-basket")));
  EXPECT_NE(read_file(root_.state("orders.tsv")).find("ORD-9\tv9\t"), std::string::npos);
}
