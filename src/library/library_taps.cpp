// Touches on the library screen: the header's buttons, page swipes, the pager and the items.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/reader/reader_open.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_state.h"
#include "audio/audio_player.h"
#include "display/framebuffer.h"
#include "library/book_details.h"
#include "library/library_menu.h"
#include "library/library_screen.h"
#include "library/library_view.h"
#include "settings/quick_settings.h"

namespace {
constexpr uint32_t kLongPressMs = 450;
constexpr int kSwipeMin = 201;

void next_page() {
  if (app.library_page + 1 < library_page_count()) ++app.library_page;
}

void previous_page() {
  if (app.library_page > 0) --app.library_page;
}

void edit_search() {
  constexpr std::string_view title = "Search library";
  char buffer[kSearchQueryMax];
  const std::string_view current = library_search_text();
  const auto result =
      keyboard_edit(title.data(), title.size(), buffer, sizeof buffer, current.data(), current.size(), false);
  if (!result) return;
  memset(library.search_query, 0, sizeof library.search_query);
  memcpy(library.search_query, result->data(), std::min(result->size(), kSearchQueryMax - 1));
  app.library_page = 0;
  library_rebuild_view();
}

void touch_header(const TapEvent& tap, const LibraryGeometry& g) {
  const int x = static_cast<int>(tap.x), y = static_cast<int>(tap.y);
  if (x > g.toggle_left) {
    ui_state.grid = !ui_state.grid;
    ui_save();
  } else if (x > g.search_left) {
    edit_search();
  } else if (y >= g.sort_bar_top) {
    library_menu();
  }
}

void touch_items(const TapEvent& tap, const LibraryGeometry& g) {
  const int x = static_cast<int>(tap.x), y = static_cast<int>(tap.y);
  const int dx = static_cast<int>(tap.x2) - x;
  if (tap.held_ms < kLongPressMs && std::abs(dx) >= kSwipeMin) {
    if (dx >= 0) {
      previous_page();
    } else {
      next_page();
    }
    return;
  }
  const auto slot = library_slot_at(g, x, y);
  if (!slot) return;
  const uint64_t index = *slot + app.library_page * g.per_page;
  if (index >= library.view_count) return;
  const uint64_t entry = library.view_list[index];
  if (tap.held_ms < kLongPressMs) {
    library_open_entry(ql_entries()[entry]);
  } else {
    book_details_screen(entry);
  }
}
}  // namespace

void library_open_entry(const ScanEntry& entry) {
  if (entry.kind == KIND_AUDIO) {
    audio_player_screen(audiobook_of(entry.path));
  } else {
    book_open(entry.path.c_str(), entry.path.size());
  }
}

void library_handle_touch(const TapEvent& tap) {
  const int w = ql_fb().width;
  const LibraryGeometry g = library_geometry(w, ql_fb().height, ui_state.grid);
  const int x = static_cast<int>(tap.x), y = static_cast<int>(tap.y);
  if (y >= g.dead_top) return;
  if (y < g.status_bottom) {
    quick_settings_panel();
  } else if (y < kLibraryItemsTop) {
    touch_header(tap, g);
  } else if (y <= g.pager_top) {
    touch_items(tap, g);
  } else if (x >= w / 2) {
    next_page();
  } else {
    previous_page();
  }
}
