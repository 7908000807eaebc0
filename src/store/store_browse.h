// Browsing the catalogue: a page of rows with cover tiles, titles, authors and prices, a search
// filter, and the item page with "Buy now" and "Add to basket".
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// Runs until the user leaves it or the view changes.
void store_browse_screen();
// Keeps at most 63 bytes of `text` (never half a character) as the search text.
void store_set_search(std::string_view text);
// The search sign, a magnifier centred at (cx, cy).
void store_draw_magnifier(float cx, float cy);
// "‹    n of N    ›" centred on the baseline y; nothing with a single page.
void store_draw_pager(size_t page, size_t pages, int y);
// Rebuilds the visible list from the search text: every item, or those whose title (else author)
// holds it, A-Z folded, in catalogue order.
void store_filter_items();

constexpr int kBrowseFirstRowTop = 320;
constexpr int kBrowseRowHeight = 232;
constexpr int kBrowseReservedH = 430;  // header, count line and pager
constexpr int kBrowsePagerBand = 110;  // taps below H minus this turn pages

// One page of the browse list, computed once per pass and read by drawing and tapping.
struct BrowseGeometry {
  size_t rows = 1;   // per page, at least 1
  size_t pages = 1;  // at least 1
  size_t page = 0;   // a page that exists
  size_t first = 0;  // visible-list index of the page's first row
  size_t shown = 0;  // rows on this page
  int row_top(size_t slot) const { return kBrowseFirstRowTop + int(slot) * kBrowseRowHeight; }
};
BrowseGeometry browse_geometry(size_t visible_count, size_t page, int screen_h);

enum class BrowseTap { Nothing, Leave, Search, Basket, Item, PreviousPage, NextPage };
struct BrowseHit {
  BrowseTap what = BrowseTap::Nothing;
  size_t visible = 0;  // visible-list index, for BrowseTap::Item
};
BrowseHit browse_hit(const BrowseGeometry& g, int x, int y, int screen_w, int screen_h);
