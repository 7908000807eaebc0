#include "app/reader/book_search.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/reader/paginator.h"
#include "app/reader/reader_words.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_wait.h"
#include "base/utf8.h"
#include "book/book_model.h"
#include "book/pdf_adapter.h"
#include "book/toc.h"
#include "display/framebuffer.h"
#include "display/touch.h"

namespace {
constexpr size_t kQueryCapacity = 64;
constexpr size_t kMaxHits = 64;
constexpr size_t kRowMax = 159;
constexpr size_t kContextMax = 120;
constexpr size_t kTitleCapacity = 128;
constexpr int kPdfChunk = 10;
constexpr double kProgressEveryMs = 2000;

struct Hit {
  uint64_t page;
  std::string row;
};

std::string cut_row(std::string row) {
  row.resize(utf8_prefix_length(row, kRowMax));
  return row;
}

// Without a pagination every hit is on the first page.
uint64_t hit_page(uint64_t word) { return layout.page_count() ? layout_page_of_word(word) : 0; }
}  // namespace

std::string book_search_row(uint64_t word) {
  char context[kContextMax];
  const std::string_view text = words_join_text(word > 4 ? word - 4 : 0, word + 8, context, sizeof context);
  return cut_row("p." + std::to_string(hit_page(word) + 1) + "   ..." + std::string(text) + "...");
}

namespace {
std::vector<Hit> search_text(const char* query) {
  uint64_t words[kMaxHits];
  const size_t n = ql_search(query, words, kMaxHits);
  std::vector<Hit> hits;
  for (size_t i = 0; i < n; ++i) {
    hits.push_back({hit_page(words[i]), book_search_row(words[i])});
  }
  return hits;
}

// Device events that arrive between chunks are kept and handed to the common handling once the
// search is over, so a rescan or a theme change is not lost.
struct HeldEvents {
  bool books_added = false;
  bool appearance = false;

  void replay() {
    TapEvent event;
    if (books_added) ui_common_event(TOUCH_BOOKS_ADDED, event);
    if (appearance) ui_common_event(TOUCH_APPEARANCE, event);
  }
};

// True when the touch layer's result asks the search to stop.
bool poll_stops(HeldEvents& held) {
  int x = 0, y = 0, x2 = 0, y2 = 0, ms = 0;
  const int r = ql_touch_poll(&x, &y, &x2, &y2, &ms, 1);
  if (r == TOUCH_QUIT) ui_save_and_exit();
  if (r == TOUCH_BOOKS_ADDED) held.books_added = true;
  if (r == TOUCH_APPEARANCE) held.appearance = true;
  return r == TOUCH_GESTURE || r == TOUCH_DEVICE || (r == TOUCH_DEVICE_2 && !app.back_passthrough);
}

std::vector<Hit> search_pages(const char* query) {
  const int pages = ql_page_count();
  std::vector<Hit> hits;
  if (pages <= 0) return hits;
  HeldEvents held;
  const double began = ql_now_ms();
  double last_message = began;
  for (int from = 0;; from += kPdfChunk) {
    int found[kMaxHits], chars[kMaxHits];
    const int room = int(kMaxHits - hits.size());
    const int n = std::max(qlpdf_search(query, from, std::min(from + kPdfChunk, pages), found, chars, room), 0);
    for (int i = 0; i < std::min(n, room); ++i) {
      hits.push_back({uint64_t(found[i]), "Page " + std::to_string(found[i] + 1)});
    }
    if (poll_stops(held)) break;
    const double now = ql_now_ms();
    if (now - last_message > kProgressEveryMs) {
      last_message = now;
      const std::string text = "Searching... page " + std::to_string(std::min(from + kPdfChunk, pages)) +
                               " of " + std::to_string(pages) + ". Tap to stop.";
      ui_toast(text.c_str(), text.size());
    }
    if (from + kPdfChunk >= pages || hits.size() >= kMaxHits) break;
  }
  held.replay();
  return hits;
}
}  // namespace

void book_search(const char* initial, size_t initial_length) {
  char buffer[kQueryCapacity];
  static constexpr char kTitle[] = "Search this book";
  const auto typed = keyboard_edit(kTitle, sizeof kTitle - 1, buffer, sizeof buffer, initial,
                                   initial_length, false);
  if (!typed || typed->empty()) return;
  static constexpr char kSearching[] = "Searching...";
  ui_toast(kSearching, sizeof kSearching - 1);
  const std::vector<Hit> hits = ql_is_pdf() ? search_pages(buffer) : search_text(buffer);
  if (hits.empty()) {
    static constexpr char kNone[] = "No results";
    ui_toast_wait(kNone, sizeof kNone - 1, 2500);
    return;
  }
  char title[kTitleCapacity];
  const int length = snprintf(title, sizeof title, "Results for \"%s\" (%zu)", buffer, hits.size());
  const size_t title_length = length > 0 && size_t(length) < sizeof title ? size_t(length) : 0;
  std::vector<std::string_view> rows;
  for (const Hit& h : hits) rows.push_back(h.row);
  const auto chosen = ui_list_menu(title, title_length, rows);
  if (!chosen) return;
  app.reader.back_page = app.reader.page;
  app.reader.back_valid = true;
  app.reader.page = hits[*chosen].page;
}
