#include "store/store_browse.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "base/utf8.h"
#include "display/device_facts.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "display/touch.h"
#include "store/store_basket.h"
#include "store/store_catalog.h"
#include "store/store_checkout.h"
#include "store/store_covers.h"

namespace {
constexpr int kCountLineY = 280;
constexpr int kBasketBandBottom = 319;
constexpr int kSearchTapFromRight = 180;
constexpr int kBasketTapFromRight = 300;
constexpr int kLeaveTapRight = 240;
constexpr int kRowTileW = 148, kRowTileH = 204;
constexpr double kCoverPollMs = 1500;
constexpr double kCoverWatchMs = 40000;
constexpr int kPagerSpaces = 4;
constexpr std::string_view kSearchTitle = "Search Corvell books";
constexpr std::string_view kNoMatch = "No books match your search.";
constexpr std::string_view kNoCatalog =
    "The catalog could not be loaded. Check Wi-Fi, then tap Search and Done to retry.";

// Item page.
constexpr int kItemTileY = 258, kItemTileW = 300, kItemTileH = 420;
constexpr int kItemTextX = 380;
constexpr int kItemTitleY = 306, kItemTitleLineH = 60;
constexpr float kItemTitleSize = 54;
constexpr size_t kItemTitleLines = 4;
constexpr int kBuyTop = 720, kAddTop = 860, kButtonH = 124, kButtonGap = 16;
constexpr std::string_view kAdded = "Added to basket";

bool contains_folded(std::string_view text, std::string_view needle) {
  return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                     [](char a, char b) { return ascii_lower(a) == ascii_lower(b); }) != text.end();
}

// The remembered cover request of one visit to the screen.
struct CoverRequest {
  bool made = false;
  size_t page = 0;
  double at_ms = 0;
};

void draw_count_line(int w) {
  const std::string count = std::to_string(store.visible_count);
  std::string line;
  if (store.search[0] == '\0') {
    line = count + " ebooks";
  } else {
    char joined[160];
    const std::string quoted = std::string("\"").append(store.search).append("\"");
    line = ui_join_dot(joined, sizeof joined, count, quoted);
  }
  ui_draw_text_fit_range(line.c_str(), TS_UI, 38, 38, 48, kCountLineY, 420);
  const std::string basket = store_basket_label(store.basket_count);
  const float bw = ql_measure(basket.c_str(), TS_UI_BOLD, 38);
  ql_text(basket.c_str(), TS_UI_BOLD, 38, float(w - 48) - bw, kCountLineY);
}

// Draws one row; false when its cover has not been fetched yet.
bool draw_row(const StoreItem& item, int top, int w) {
  const bool cover = store_draw_cover_tile(item, top + 12, kRowTileW, kRowTileH);
  ui_draw_text_fit_range(item.title, TS_BOLD, 54, 45, 232, top + 72, w - 432);
  ui_draw_text_fit_range(item.author, TS_REGULAR, 42, 33, 232, top + 130, w - 432);
  const std::string price = store_format_price(item.priceCents, item.currency);
  const float pw = ql_measure(price.c_str(), TS_UI_BOLD, 50);
  ql_text(price.c_str(), TS_UI_BOLD, 50, float(w - 48) - pw, float(top + 72));
  ql_rect(48, top + 230, w - 96, 1, 170);
  return cover;
}

// Draws the page; the items whose cover is missing.
std::vector<uint16_t> draw_page(const BrowseGeometry& g) {
  const int w = ql_fb().width, h = ql_fb().height;
  ui_draw_header("Browse");
  store_draw_magnifier(float(w - 114), 150);
  draw_count_line(w);
  std::vector<uint16_t> missing;
  for (size_t i = 0; i < g.shown; ++i) {
    const uint16_t index = store.visible[g.first + i];
    if (!draw_row(store.items[index], g.row_top(i), w)) missing.push_back(index);
  }
  if (store.visible_count == 0) {
    const std::string_view text = store.count > 0 ? kNoMatch : kNoCatalog;
    ui_draw_wrapped(text.data(), text.size(), TS_REGULAR, 54, 48, 420, w - 96, 62);
  }
  store_draw_pager(g.page, g.pages, h - 40);
  return missing;
}

void edit_search() {
  char text[kStoreSearchSize];
  const std::optional<std::string_view> done =
      keyboard_edit(kSearchTitle.data(), kSearchTitle.size(), text, sizeof text, store.search,
                    strlen(store.search), false);
  if (!done) return;
  store_set_search(*done);
  // An empty table is what the "retry" of the catalogue message means.
  if (store.count == 0) store_catalog_fetch();
  store_filter_items();
  app.present.clean = false;
}

// The title wrapped into at most kItemTitleLines lines, so a long one never runs into the buttons;
// the baseline after it.
int draw_item_title(std::string_view title, int width) {
  std::vector<std::string> lines;
  ui_wrap(title, TS_UI_BOLD, kItemTitleSize, float(width),
          [&](std::string_view line, int) { lines.emplace_back(line); });
  if (lines.size() > kItemTitleLines) {
    lines.resize(kItemTitleLines);
    lines.back() = ui_cut_to_width(lines.back() + "...", TS_UI_BOLD, kItemTitleSize, float(width));
  }
  int y = kItemTitleY;
  for (const std::string& line : lines) {
    ql_text(line.c_str(), TS_UI_BOLD, kItemTitleSize, kItemTextX, float(y));
    y += kItemTitleLineH;
  }
  return y;
}

void draw_item_page(const StoreItem& item) {
  const int w = ql_fb().width;
  ui_draw_header("Corvell Books");
  store_draw_cover_tile(item, kItemTileY, kItemTileW, kItemTileH);
  const int y = draw_item_title(item.title, w - 428);
  ui_draw_text_fit(item.author, TS_REGULAR, 42, kItemTextX, y + 4, w - 428);
  const std::string price = store_format_price(item.priceCents, item.currency);
  ql_text(price.c_str(), TS_UI_BOLD, 64, kItemTextX, float(y + 100));
  ql_frame(48, kBuyTop, w - 96, kButtonH, 4);
  ql_text("Buy now", TS_UI_BOLD, 54, 88, 800);
  ql_frame(48, kAddTop, w - 96, kButtonH, 2);
  ql_text("Add to basket", TS_UI, 54, 88, 940);
}

// The item page, until it sends the user back to the list.
void item_page(uint16_t index) {
  for (;;) {
    draw_item_page(store.items[index]);
    ui_present(false);
    TapEvent event;
    ui_wait_event(event);
    if (event.code != TAP_TOUCH) continue;
    const int y = int(event.y);
    if (y <= kHeaderBottom) return;
    if (y >= kBuyTop && y < kAddTop) {
      const uint16_t one[] = {index};
      store_checkout(one);
      return;
    }
    if (y >= kAddTop && y < kAddTop + kButtonH + kButtonGap && store_basket_add(index)) {
      ui_toast(kAdded.data(), kAdded.size());
      return;
    }
  }
}
}  // namespace

void store_set_search(std::string_view text) {
  const size_t n = utf8_prefix_length(text, kStoreSearchSize - 1);
  std::copy_n(text.data(), n, store.search);
  store.search[n] = '\0';
}

void store_draw_magnifier(float cx, float cy) {
  ql_circle(0, cx, cy, 20, 4);
  ql_line(0, cx + 14, cy + 14, cx + 34, cy + 34, 5);
}

void store_draw_pager(size_t page, size_t pages, int y) {
  if (pages < 2) return;
  const std::string pager = ui_pager_label(page + 1, pages, kPagerSpaces);
  const float pw = ql_measure(pager.c_str(), TS_UI, 42);
  ql_text(pager.c_str(), TS_UI, 42, (float(ql_fb().width) - pw) / 2, float(y));
}

void store_filter_items() {
  const std::string_view needle(store.search);
  store.visible_count = 0;
  for (size_t i = 0; i < store.count; ++i) {
    const StoreItem& it = store.items[i];
    if (needle.empty() || contains_folded(it.title, needle) || contains_folded(it.author, needle)) {
      store.visible[store.visible_count++] = uint16_t(i);
    }
  }
}

BrowseGeometry browse_geometry(size_t visible_count, size_t page, int screen_h) {
  BrowseGeometry g;
  g.rows = size_t(std::max(1, (screen_h - kBrowseReservedH) / kBrowseRowHeight));
  g.pages = std::max<size_t>(1, (visible_count + g.rows - 1) / g.rows);
  g.page = std::min(page, g.pages - 1);
  g.first = g.page * g.rows;
  g.shown = std::min(g.rows, visible_count - std::min(visible_count, g.first));
  return g;
}

BrowseHit browse_hit(const BrowseGeometry& g, int x, int y, int screen_w, int screen_h) {
  if (y <= kHeaderBottom) {
    if (y < kStatusBarBottom) return {};
    if (x < kLeaveTapRight) return {BrowseTap::Leave};
    if (x > screen_w - kSearchTapFromRight) return {BrowseTap::Search};
    return {};
  }
  if (y <= kBasketBandBottom)
    return x > screen_w - kBasketTapFromRight ? BrowseHit{BrowseTap::Basket} : BrowseHit{};
  if (y > screen_h - kBrowsePagerBand) {
    return {x >= screen_w / 2 ? BrowseTap::NextPage : BrowseTap::PreviousPage};
  }
  // Below the page's last row (an empty slot, or the gap above the pager) nothing is hit.
  const size_t slot = size_t((y - kBrowseFirstRowTop) / kBrowseRowHeight);
  if (slot >= g.shown) return {};
  return {BrowseTap::Item, g.first + slot};
}

void store_browse_screen() {
  store_catalog_ensure();
  store_filter_items();
  size_t page = 0;
  CoverRequest request;
  const AppView view = app.view;
  while (app.view == view) {
    const int w = ql_fb().width, h = ql_fb().height;
    const BrowseGeometry g = browse_geometry(store.visible_count, page, h);
    page = g.page;
    const std::vector<uint16_t> missing = draw_page(g);
    ui_present(!app.present.clean);
    app.present.clean = true;
    if (!missing.empty() && (!request.made || request.page != page)) {
      const std::string command = store_cover_command(missing);
      if (!command.empty()) ql_system(command.c_str());
      request = {true, page, ql_touch_now_ms()};
    }
    TapEvent event;
    const bool watching = !missing.empty() && request.made && request.page == page &&
                          ql_touch_now_ms() - request.at_ms < kCoverWatchMs;
    const PageKeyTaps keys = ui_pager_keys(w, h - kPagerKeyRise);
    if (watching) {
      // A time-out redraws: covers appear as the script delivers them.
      if (ui_wait_event_timed(event, int(kCoverPollMs), &keys) != TAP_TOUCH) continue;
    } else {
      ui_wait_event(event, &keys);
      if (event.code != TAP_TOUCH) continue;
    }
    const BrowseHit hit = browse_hit(g, int(event.x), int(event.y), w, h);
    switch (hit.what) {
      case BrowseTap::Leave: return;
      case BrowseTap::Search:
        edit_search();
        page = 0;
        break;
      case BrowseTap::Basket: store_basket_screen(); break;
      case BrowseTap::Item: item_page(store.visible[hit.visible]); break;
      case BrowseTap::NextPage: page = std::min(page + 1, g.pages - 1); break;
      case BrowseTap::PreviousPage: page = page > 0 ? page - 1 : 0; break;
      case BrowseTap::Nothing: break;
    }
  }
}
