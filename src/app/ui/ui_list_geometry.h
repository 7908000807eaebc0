// The geometry of a paged list of rows under a header, computed once per pass and read by both the
// drawing and the tap handling, and the pager label shown under it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kListTop = 226;           // the first row's top, just under the header's rule
constexpr int kListReservedH = 336;     // header and pager: what rows may not use
constexpr int kListPagerBand = 110;     // the bottom band that turns pages
constexpr int kListPagerSpaces = 3;     // spaces on each side of "n of N"
constexpr int kPagerKeyRise = 40;       // the page keys tap the pager band this far above the bottom

struct ListGeometry {
  int row_height = 0;
  int per_page = 1;      // rows a page holds (at least 1)
  uint64_t pages = 1;    // at least 1, also for an empty list
  uint64_t page = 0;     // always a page that exists
  uint64_t first = 0;    // the whole list's index of the page's first row
  uint64_t shown = 0;    // rows on this page
  int pager_top = 0;     // with more than one page, taps below this turn pages

  bool has_pager() const { return pages >= 2; }
  // The top of the page's slot `slot`.
  int row_top(uint64_t slot) const { return kListTop + int(slot) * row_height; }
};

// The geometry of `row_count` rows of `row_height` on a screen `screen_h` high, on `page` or, when
// rows were removed since, on the last page that still exists.
ListGeometry list_geometry(uint64_t row_count, uint64_t page, int row_height, int screen_h);

enum class ListTap { Nothing, PreviousPage, NextPage, Row };
struct ListHit {
  ListTap what = ListTap::Nothing;
  uint64_t row = 0;  // the whole list's index, for ListTap::Row
};
// What a tap below the header band (y >= kListTop) hits: the pager band (left half back, right half
// forward, only when there is another page that way), a row that is shown, or nothing (the empty
// slots under a short last page and the gap above the pager included).
ListHit list_hit(const ListGeometry& g, int x, int y, int screen_w);

// "‹" + spaces + page + " of " + pages + spaces + "›", the page counted from 1.
std::string ui_pager_label(uint64_t page, uint64_t pages, int spaces = kListPagerSpaces);
