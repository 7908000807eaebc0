// The basket: the items collected on the browse screen, kept in memory for the run, and the screen
// that lists them with their prices and totals and starts the checkout.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// "Basket (" count ")".
std::string store_basket_label(size_t count);
// Puts the item (an index into the table) in the basket unless it is there already. False when the
// basket is full and the item is not in it.
bool store_basket_add(uint16_t item);
// Returns when the user leaves it or after a checkout (which empties it when the payment was made).
void store_basket_screen();

// "Total " followed by the price text.
std::string store_format_total(int64_t cents, std::string_view currency);

// The items' prices summed per currency, in the order the currencies first appear (an empty code
// counts as "EUR"). Sums stop at the 64-bit limits rather than wrap.
struct CurrencyTotal {
  std::string currency;
  int64_t cents = 0;
};
std::vector<CurrencyTotal> store_totals(std::span<const uint16_t> items);
// "Total €5.00", or with several currencies each total: "Total €5.00 + $3.00".
std::string store_totals_text(std::span<const uint16_t> items);

constexpr int kBasketFirstRowTop = 226;
constexpr int kBasketRowHeight = 132;
constexpr int kBasketFooterH = 330;  // the pager, the total and the Checkout button under the rows

// One page of the basket, computed once per pass and read by drawing and tapping.
struct BasketGeometry {
  size_t rows = 1;  // per page, at least 1
  size_t pages = 1;
  size_t page = 0;
  size_t first = 0;  // basket index of the page's first row
  size_t shown = 0;
  int pager_top = 0;  // taps from here to the footer's top turn pages, when there are several
  int footer_top = 0;
};
BasketGeometry basket_geometry(size_t count, size_t page, int screen_h);
