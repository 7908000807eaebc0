#include "store/store_basket.h"

#include <algorithm>
#include <limits>

#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "store/store_browse.h"
#include "store/store_catalog.h"
#include "store/store_checkout.h"

namespace {
constexpr int kTitleOffset = 82;  // baseline below the row's top
constexpr int kRuleOffset = 131;
constexpr int kRemoveBand = 200;  // taps this near the right edge remove a row
constexpr int kCheckoutBand = 190;
constexpr std::string_view kEmpty = "Your basket is empty.";

int64_t add_clamped(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

// The title at the largest size from 40 down to 30 that fits, else cut at 30.
void draw_row(const StoreItem& item, int top, int w) {
  ui_draw_text_fit_range(item.title, TS_REGULAR, 40, 30, 48, top + kTitleOffset, w - 420);
  const std::string price = store_format_price(item.priceCents, item.currency);
  ql_text(price.c_str(), TS_UI_BOLD, 40, float(w - 330), float(top + kTitleOffset));
  const float rw = ql_measure("Remove", TS_UI, 42);
  ql_text("Remove", TS_UI, 42, float(w - 48) - rw, float(top + kTitleOffset));
  ql_rect(48, top + kRuleOffset, w - 96, 1, 170);
}

void draw(const BasketGeometry& g) {
  const int w = ql_fb().width, h = ql_fb().height;
  ui_draw_header("Basket");
  if (store.basket_count == 0) {
    ql_text(kEmpty.data(), TS_UI, 54, 48, 316);
    return;
  }
  for (size_t i = 0; i < g.shown; ++i) {
    draw_row(store.items[store.basket[g.first + i]], kBasketFirstRowTop + int(i) * kBasketRowHeight,
             w);
  }
  store_draw_pager(g.page, g.pages, g.pager_top + 62);
  const std::string total = store_totals_text({store.basket, store.basket_count});
  ui_draw_text_fit_range(total.c_str(), TS_BOLD, 64, 40, 48, h - 220, w - 96);
  ql_frame(48, h - 184, w - 96, 130, 4);
  ql_text("Checkout", TS_UI_BOLD, 54, 88, float(h - 102));
}

void remove_entry(size_t at) {
  std::copy(store.basket + at + 1, store.basket + store.basket_count, store.basket + at);
  --store.basket_count;
}
}  // namespace

std::string store_basket_label(size_t count) { return "Basket (" + std::to_string(count) + ")"; }

bool store_basket_add(uint16_t item) {
  const uint16_t* first = store.basket;
  const uint16_t* end = first + store.basket_count;
  if (std::find(first, end, item) != end) return true;
  if (store.basket_count >= kStoreBasketMax) return false;
  store.basket[store.basket_count++] = item;
  return true;
}

std::string store_format_total(int64_t cents, std::string_view currency) {
  return "Total " + store_format_price(cents, currency);
}

std::vector<CurrencyTotal> store_totals(std::span<const uint16_t> items) {
  std::vector<CurrencyTotal> totals;
  for (const uint16_t index : items) {
    const StoreItem& item = store.items[index];
    const std::string_view code = item.currency[0] ? std::string_view(item.currency) : "EUR";
    auto it = std::find_if(totals.begin(), totals.end(),
                           [&](const CurrencyTotal& t) { return t.currency == code; });
    if (it == totals.end()) it = totals.insert(totals.end(), {std::string(code), 0});
    it->cents = add_clamped(it->cents, item.priceCents);
  }
  return totals;
}

std::string store_totals_text(std::span<const uint16_t> items) {
  const std::vector<CurrencyTotal> totals = store_totals(items);
  if (totals.empty()) return store_format_total(0, "EUR");
  std::string text = "Total ";
  for (size_t i = 0; i < totals.size(); ++i) {
    if (i) text += " + ";
    text += store_format_price(totals[i].cents, totals[i].currency);
  }
  return text;
}

BasketGeometry basket_geometry(size_t count, size_t page, int screen_h) {
  BasketGeometry g;
  g.rows = size_t(std::max(1, (screen_h - kBasketFirstRowTop - kBasketFooterH) / kBasketRowHeight));
  g.pages = std::max<size_t>(1, (count + g.rows - 1) / g.rows);
  g.page = std::min(page, g.pages - 1);
  g.first = g.page * g.rows;
  g.shown = std::min(g.rows, count - std::min(count, g.first));
  g.pager_top = kBasketFirstRowTop + int(g.rows) * kBasketRowHeight;
  g.footer_top = screen_h - kBasketFooterH + 30;
  return g;
}

void store_basket_screen() {
  size_t page = 0;
  for (;;) {
    const int w = ql_fb().width, h = ql_fb().height;
    const BasketGeometry g = basket_geometry(store.basket_count, page, h);
    page = g.page;
    draw(g);
    ui_present(false);
    TapEvent event;
    const PageKeyTaps keys = ui_pager_keys(w, (g.pager_top + g.footer_top) / 2);
    ui_wait_event(event, g.pages > 1 ? &keys : nullptr);
    if (event.code != TAP_TOUCH) continue;
    const int x = int(event.x), y = int(event.y);
    if (y <= kHeaderBottom) return;
    if (store.basket_count == 0) continue;
    if (y > h - kCheckoutBand) {
      if (store_checkout({store.basket, store.basket_count})) store.basket_count = 0;
      return;
    }
    if (g.pages > 1 && y >= g.pager_top && y < g.footer_top) {
      page = x >= w / 2 ? std::min(page + 1, g.pages - 1) : (page > 0 ? page - 1 : 0);
      continue;
    }
    const size_t slot = size_t((y - kBasketFirstRowTop) / kBasketRowHeight);
    if (x > w - kRemoveBand && slot < g.shown) remove_entry(g.first + slot);
  }
}
