#include "library/library_screen.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "app/ui/app_state.h"
#include "app/ui/cover_jobs.h"
#include "app/ui/ui_cover_card.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_state.h"
#include "app/ui/ui_text.h"
#include "base/utf8.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "library/collections.h"
#include "library/library_view.h"
#include "library/progress_index.h"

namespace {
constexpr int kGridColumns = 3;
constexpr int kGridGap = 32;
constexpr int kGridLabelBand = 96;
constexpr int kListRowPitch = 232;
constexpr int kListCoverW = 148;
constexpr int kListCoverH = 204;
constexpr int kListTextX = 232;
constexpr int kItemsReserve = 496;  // screen height left out of the items area
constexpr int kNewBand = 44;
constexpr int kStatusBand = 88;
constexpr int kSortBarTop = 217;
constexpr int kSearchFromRight = 240;  // tap box of the search button, from the right edge
constexpr int kToggleFromRight = 130;  // tap box of the grid/list toggle
constexpr int kSearchIconFromRight = 185;
constexpr int kToggleIconFromRight = 92;
constexpr int kHeaderIconY = 243;
constexpr int kPagerBaselineFromBottom = 148;
constexpr int kPagerSpaces = 4;
constexpr size_t kShowLabelMax = 64;
constexpr size_t kFolderLabelMax = 259;
constexpr std::string_view kDot = "  ·  ";
constexpr std::string_view kEmptyText =
    "No books yet. Drop book or audiobook files on this window, or tap the top of the screen, All "
    "settings, Add books from this device. Free books are in the same place.";
constexpr std::string_view kNoMatchText =
    "No book matches this search. Tap the magnifier to search again, or the line above the books "
    "and Clear search to see them all.";
constexpr std::string_view kNoneShownText =
    "No book matches what this list shows. Tap the line above the books to show others.";

std::string show_label() {
  switch (ui_state.filter) {
    case FILTER_COLLECTION:
      if (library.filter_collection < collections.count) {
        return std::string(collection_name(library.filter_collection));
      }
      return kFilterLabels[FILTER_COLLECTION];
    case FILTER_AUTHOR:
      return std::string(library.filter_author, strnlen(library.filter_author, kFilterAuthorMax));
    default:
      return ui_state.filter < kFilterLabels.size() ? kFilterLabels[ui_state.filter] : "";
  }
}

// The small triangle after the sort bar that marks it as a menu.
void draw_menu_triangle(int text_end) {
  constexpr int kRows = 9, kTop = 244, kWidth = 18, kGapAfterText = 66;
  for (int i = 0; i < kRows; ++i) ql_rect(text_end + kGapAfterText + i, kTop + i, kWidth - 2 * i, 1, 0);
}

void draw_sort_bar(int w) {
  constexpr int kSize = 38, kX = 48, kBaseline = 262, kRightReserve = 300;
  const std::string text = library_sort_bar_text();
  ui_draw_text_fit(text.c_str(), TS_REGULAR, kSize, kX, kBaseline, w - kRightReserve);
  if (!library_search_text().empty()) return;
  const float measured = ql_measure(text.c_str(), ui_face(TS_REGULAR), kSize);
  const int text_w = std::min(static_cast<int>(measured), w - kRightReserve);
  draw_menu_triangle(kX + text_w);
}

// The magnifier (a ring and its handle) and the toggle's icon: three lines for the grid, four
// squares for the list.
void draw_header_buttons(const LibraryGeometry& g) {
  const float sx = static_cast<float>(g.search_icon_x), cy = static_cast<float>(g.header_icon_y);
  ql_circle(0, sx, cy, 16, 5);
  ql_line(0, sx + 12, cy + 12, sx + 27, cy + 27, 5);
  const int tx = g.toggle_icon_x;
  if (g.grid) {
    for (float dy : {-7.f, 5.f, 17.f}) {
      ql_line(0, static_cast<float>(tx), cy + dy, static_cast<float>(tx + 40), cy + dy, 5);
    }
  } else {
    for (int dy : {-14, 8})
      for (int dx : {1, 23}) ql_rect(tx + dx, g.header_icon_y + dy, 16, 16, 0);
  }
}

// The "NEW" band over the top of a cover: white text on black.
void draw_new_band(int x, int top, int w, int baseline) {
  constexpr float kSize = 28;
  ql_rect(x, top, w, kNewBand, 255);
  const float tw = ql_measure("NEW", TS_UI_BOLD, kSize);
  ql_text("NEW", TS_UI_BOLD, kSize, static_cast<float>(x) + (static_cast<float>(w) - tw) / 2,
          static_cast<float>(baseline));
  ql_invert(x, top, w, kNewBand);
}

void draw_cover(const ScanEntry& e, const std::string& label, int x, int y, int w, int h) {
  ui_draw_cover_card(e.path.data(), e.path.size(), e.kind, label.data(), label.size(), x, y, w, h);
}

void draw_grid_item(const LibraryGeometry& g, uint64_t slot, uint64_t entry) {
  const ScanEntry& e = ql_entries()[entry];
  const std::string label = library_item_label(entry);
  const int x = kLibraryLeft + static_cast<int>(slot % kGridColumns) * g.pitch_x;
  const int top = kLibraryItemsTop + static_cast<int>(slot / kGridColumns) * g.row_pitch;
  draw_cover(e, label, x, top, g.cover_w, g.cover_h);
  if (library_new_book_position(entry)) {
    draw_new_band(x, top, g.cell_w, top + 33);
    cover_jobs_keep_top(x, top, kNewBand);
  }
  ui_draw_text_fit(label.c_str(), TS_BOLD, 42, x, top + g.row_pitch - 50, g.cell_w);
}

void draw_list_item(const LibraryGeometry& g, uint64_t slot, uint64_t entry, int w) {
  const ScanEntry& e = ql_entries()[entry];
  const std::string label = library_item_label(entry);
  const int top = kLibraryItemsTop + static_cast<int>(slot) * g.row_pitch;
  draw_cover(e, label, kLibraryLeft, top + 12, kListCoverW, kListCoverH);
  if (library_new_book_position(entry)) {
    draw_new_band(kLibraryLeft, top + 12, kListCoverW, top + 45);
    cover_jobs_keep_top(kLibraryLeft, top + 12, kNewBand);
  }
  ui_draw_text_fit(label.c_str(), TS_BOLD, 54, kListTextX, top + 80, w - 280);

  std::string_view detail = e.author;
  if (library.latest_paper_set && library.latest_paper == entry) {
    detail = "Latest paper";
  } else if (e.kind == KIND_AUDIO) {
    detail = "Audiobook";
  }
  const std::string status = library_item_status(entry);
  char second[1024];
  std::string_view line = status;
  if (!detail.empty()) line = ui_join_dot(second, sizeof second, detail, status);
  const std::string text(line);
  ui_draw_text_fit(text.c_str(), TS_REGULAR, 42, kListTextX, top + 142, w - 280);
  ql_rect(kLibraryLeft, top + 231, w - 96, 1, 170);
}

void draw_pager(const LibraryGeometry& g, uint64_t page, uint64_t pages, int w) {
  constexpr float kSize = 42;
  const std::string text = ui_pager_label(page + 1, pages, kPagerSpaces);
  const TextStyle face = ui_face(TS_REGULAR);
  const float tw = ql_measure(text.c_str(), face, kSize);
  ql_text(text.c_str(), face, kSize, (static_cast<float>(w) - tw) / 2,
          static_cast<float>(g.pager_baseline));
}
}  // namespace

LibraryGeometry library_geometry(int width, int height, bool grid) {
  LibraryGeometry g;
  g.grid = grid;
  if (grid) {
    g.columns = kGridColumns;
    const int full_w = (width - 160) / kGridColumns;
    // On a wide, low screen (landscape) a row of full-width cells would run past the items band
    // into the pager: the cells shrink until one row fits, and the columns spread over the width.
    const int fitting_w = (height - kItemsReserve - kGridLabelBand) * 3 / 4;
    g.cell_w = std::max(1, std::min(full_w, fitting_w));
    g.pitch_x = g.cell_w < full_w ? (width - 2 * kLibraryLeft - g.cell_w) / (kGridColumns - 1)
                                  : g.cell_w + kGridGap;
    g.cover_w = g.cell_w;
    g.row_pitch = g.cell_w * 4 / 3 + kGridLabelBand;
    g.cover_h = g.row_pitch - kGridLabelBand;
    g.rows = std::max(1, g.row_pitch > 0 ? (height - kItemsReserve) / g.row_pitch : 1);
  } else {
    g.columns = 1;
    g.cell_w = width - 96;
    g.cover_w = kListCoverW;
    g.cover_h = kListCoverH;
    g.row_pitch = kListRowPitch;
    // A screen too low for one row still shows one rather than none.
    g.rows = std::max(1, (height - kItemsReserve) / kListRowPitch);
  }
  g.per_page = uint64_t(g.rows) * uint64_t(g.columns);
  g.status_bottom = kStatusBand;
  g.sort_bar_top = kSortBarTop;
  g.search_left = width - kSearchFromRight;
  g.toggle_left = width - kToggleFromRight;
  g.search_icon_x = width - kSearchIconFromRight;
  g.toggle_icon_x = width - kToggleIconFromRight;
  g.header_icon_y = kHeaderIconY;
  g.pager_top = height - kLibraryPagerBand;
  g.pager_baseline = height - kPagerBaselineFromBottom;
  g.dead_top = height - kLibraryDeadBand;
  return g;
}

std::optional<uint64_t> library_slot_at(const LibraryGeometry& g, int x, int y) {
  if (y < kLibraryItemsTop || g.row_pitch <= 0) return std::nullopt;
  const int row = (y - kLibraryItemsTop) / g.row_pitch;
  int column = 0;
  if (g.grid) {
    if (x < kLibraryLeft || g.pitch_x <= 0) return std::nullopt;
    column = (x - kLibraryLeft) / g.pitch_x;
    if (column >= g.columns) return std::nullopt;
  }
  const uint64_t slot = uint64_t(column) + uint64_t(g.columns) * uint64_t(row);
  if (slot >= g.per_page) return std::nullopt;
  return slot;
}

uint64_t library_page_count() {
  const LibraryGeometry g = library_geometry(ql_fb().width, ql_fb().height, ui_state.grid);
  return std::max<uint64_t>(1, (library.view_count + g.per_page - 1) / g.per_page);
}

std::string library_item_label(uint64_t entry) {
  if (const auto folder = audiobook_part_folder(entry)) {
    const std::string_view name = path_file_name(*folder);
    return std::string(ui_utf8_prefix(name, kFolderLabelMax));
  }
  return ql_entries()[entry].title;
}

std::string library_item_status(uint64_t entry) {
  const std::string_view name = path_file_name(ql_entries()[entry].path);
  const ProgressRecord* r = library_find_record(name.data(), name.size());
  if (r && r->read) return "Read";
  if (!r || r->percent == 0) return "New";
  return std::to_string(r->percent) + "%";
}

std::string library_sort_bar_text() {
  const std::string count = std::to_string(library.view_count);
  const std::string_view search = library_search_text();
  if (!search.empty()) {
    std::string found = "\"";
    found.append(search).append("\"").append(kDot).append(count).append(" FOUND");
    return found;
  }
  std::string text = ascii_upper(kSortLabels[std::min<size_t>(ui_state.sort, kSortLabels.size() - 1)]);
  const std::string show = ascii_upper(ui_utf8_prefix(show_label(), kShowLabelMax));
  if (!show.empty()) text += std::string(kDot) + show;
  return text + std::string(kDot) + count;
}

std::string_view library_empty_text() {
  if (ql_entries().empty()) return kEmptyText;
  return library_search_text().empty() ? kNoneShownText : kNoMatchText;
}

void library_view_draw() {
  app.covers.deferred = !app.screenshot.on;
  cover_jobs_clear();
  const int w = ql_fb().width, h = ql_fb().height;
  ql_clear();
  ui_draw_status_bar();
  ui_draw_title_fit("Your library", kLibraryLeft, 192, w - 96);
  draw_sort_bar(w);
  const LibraryGeometry g = library_geometry(w, h, ui_state.grid);
  draw_header_buttons(g);

  const uint64_t pages = library_page_count();
  if (app.library_page >= pages) app.library_page = pages - 1;
  const uint64_t first = app.library_page * g.per_page;
  for (uint64_t slot = 0; slot < g.per_page && first + slot < library.view_count; ++slot) {
    const uint64_t entry = library.view_list[first + slot];
    if (g.grid) {
      draw_grid_item(g, slot, entry);
    } else {
      draw_list_item(g, slot, entry, w);
    }
  }
  if (library.view_count == 0) {
    const std::string_view text = library_empty_text();
    ui_draw_wrapped(text.data(), text.size(), TS_REGULAR, 54, kLibraryLeft, 420, w - 96, 72);
  }
  if (pages >= 2) draw_pager(g, app.library_page, pages, w);
  // Covers are deferred only while the library itself draws: the details screen and any other
  // card drawn before the next library pass decode theirs on the spot.
  app.covers.deferred = false;
}
