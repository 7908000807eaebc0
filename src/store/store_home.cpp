#include "store/store_home.h"

#include <array>
#include <cstring>
#include <string>

#include "app/reader/reader_open.h"
#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/device_scripts.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "store/free_titles.h"
#include "store/store_basket.h"
#include "store/store_browse.h"
#include "store/store_catalog.h"
#include "store/store_orders.h"
#include "store/store_path_answer.h"

namespace {
constexpr int kTitleY = 192;
constexpr int kSearchTop = 250, kSearchH = 124, kSearchTapBottom = 389;
constexpr int kRowsTop = 410, kRowH = 132, kRowTextOffset = 86, kRuleOffset = 131;
constexpr int kRowCount = 4;
constexpr int kBasketTapTop = 931, kBasketTapBottom = 1009, kBasketLabelY = 980;
constexpr int kDeadBottomBand = 120;
constexpr std::array<std::string_view, kRowCount> kRows = {
    "Browse the collection", "Free books", "Download from a link", "Orders and payments"};

constexpr std::string_view kLinkTitle = "Link to an ebook or PDF";
constexpr std::string_view kLinkStart = "https://";
constexpr size_t kLinkMax = 800;
constexpr size_t kLinkMin = 10;
constexpr size_t kQuotedLinkMax = 1993;
constexpr std::string_view kDownloading = "Downloading...";
constexpr std::string_view kDownloadFailed = "Download failed. Check the link and Wi-Fi.";
constexpr int kFailedWaitMs = 3000;

void draw_home() {
  const int w = ql_fb().width;
  ql_clear();
  ui_draw_status_bar();
  ui_draw_title_fit("Corvell Books", 48, kTitleY, w - 96);
  ql_frame(48, kSearchTop, w - 96, kSearchH, 2);
  store_draw_magnifier(110, kSearchTop + 54);
  ql_text("Search books", TS_UI, 46, 164, kSearchTop + 78);
  for (int i = 0; i < kRowCount; ++i) {
    const int top = kRowsTop + i * kRowH;
    ql_text(kRows[size_t(i)].data(), TS_UI, 54, 48, float(top + kRowTextOffset));
    ql_text("\xE2\x80\xBA", TS_UI_BOLD, 54, float(w - 72), float(top + kRowTextOffset));
    ql_rect(48, top + kRuleOffset, w - 96, 1, 170);
  }
  if (store.basket_count > 0) {
    const std::string label = store_basket_label(store.basket_count);
    ql_text(label.c_str(), TS_UI_BOLD, 42, 48, kBasketLabelY);
  }
}

void search_and_browse() {
  store_catalog_ensure();
  char text[kStoreSearchSize];
  constexpr std::string_view kTitle = "Search books";
  const std::optional<std::string_view> done = keyboard_edit(
      kTitle.data(), kTitle.size(), text, sizeof text, store.search, strlen(store.search), false);
  if (!done) return;
  store_set_search(*done);
  store_browse_screen();
}

void download_from_link() {
  char link[kLinkMax + 1];
  const std::optional<std::string_view> done =
      keyboard_edit(kLinkTitle.data(), kLinkTitle.size(), link, sizeof link, kLinkStart.data(),
                    kLinkStart.size(), false);
  if (!done || done->size() < kLinkMin) return;
  ui_toast(kDownloading.data(), kDownloading.size());
  const std::optional<std::string> path =
      store_run_for_path(ScriptLine(kScriptStore, "get").arg(*done, kQuotedLinkMax));
  if (!path) return;
  // Only a book the script stored in the documents folder is opened, as for bought books.
  if (!store_path_is_book(*path)) {
    ui_toast_wait(kDownloadFailed.data(), kDownloadFailed.size(), kFailedWaitMs);
    return;
  }
  app_call(app_hooks.books_added);
  book_open(path->c_str(), path->size());
}

void open_row(int row) {
  switch (row) {
    case 0:
      store.search[0] = '\0';
      store_browse_screen();
      break;
    case 1: free_books_screen(); break;
    case 2: download_from_link(); break;
    case 3: store_orders_screen(); break;
    default: break;
  }
}
}  // namespace

void store_home_screen() {
  while (app.view >= AppView::Store) {
    draw_home();
    ui_present(!app.present.clean);
    app.present.clean = true;
    TapEvent event;
    ui_wait_event(event);
    if (event.code != TAP_TOUCH) continue;
    const int y = int(event.y);
    if (y < kStatusBarBottom) {
      app_call(app_hooks.quick_settings);
    } else if (y >= ql_fb().height - kDeadBottomBand) {
      continue;
    } else if (store.basket_count > 0 && y >= kBasketTapTop && y <= kBasketTapBottom) {
      store_catalog_ensure();
      store_basket_screen();
    } else if (y >= kSearchTop && y <= kSearchTapBottom) {
      search_and_browse();
    } else if (y >= kRowsTop && y <= kRowsTop + kRuleOffset + (kRowCount - 1) * kRowH) {
      open_row((y - kRowsTop) / kRowH);
    }
  }
}
