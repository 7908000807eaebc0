// The library screen: the view list drawn as a grid or list, and its touch handling.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/ui/ui_wait.h"
#include "library/document_scan.h"

// Draws the whole library screen into the frame (the main loop presents it).
void library_view_draw();
// Handles one completed touch on the library screen.
void library_handle_touch(const TapEvent& tap);
// Opens an entry: an audiobook in the player, anything else in the reader.
void library_open_entry(const ScanEntry& entry);
// Pages of the view list in the current mode; at least 1.
uint64_t library_page_count();

// Where the items of a page lie on a screen of width x height, for drawing and hit-testing alike.
struct LibraryGeometry {
  bool grid = false;
  int columns = 1;
  int cell_w = 0;     // grid: cover and label width; list: the row's width
  int pitch_x = 0;    // grid: from one column's left edge to the next
  int cover_w = 0;
  int cover_h = 0;
  int row_pitch = 0;
  int rows = 1;
  uint64_t per_page = 1;

  // The header above the items: the status band, then the title with the search button and the
  // grid/list toggle at its right, and the sort bar under it.
  int status_bottom = 0;   // taps above it open the quick settings
  int sort_bar_top = 0;    // taps from here to the items open the sort and filter menu
  int search_left = 0;     // taps right of it (up to the toggle) open the search keyboard
  int toggle_left = 0;     // taps right of it switch between grid and list
  int search_icon_x = 0;   // the magnifier's centre
  int toggle_icon_x = 0;   // the toggle icon's left edge
  int header_icon_y = 0;   // the icons' middle row
  // The bottom: the pager band (left half back, right half forward) and below it a band without
  // taps.
  int pager_top = 0;
  int pager_baseline = 0;
  int dead_top = 0;
};
constexpr int kLibraryLeft = 48;
constexpr int kLibraryItemsTop = 300;
constexpr int kLibraryPagerBand = 196;  // the pager band starts this far above the bottom
constexpr int kLibraryDeadBand = 120;   // the bottom rows take no taps

LibraryGeometry library_geometry(int width, int height, bool grid);
// The slot of the page under (x, y) in the items band, or none.
std::optional<uint64_t> library_slot_at(const LibraryGeometry& g, int x, int y);

// What an item shows beside its cover: its label (the folder of a multi-file audiobook, else the
// title) and its reading status ("Read", "New" or the percent).
std::string library_item_label(uint64_t entry);
std::string library_item_status(uint64_t entry);
// The line above the items: sort, Show and count, or the search and what it found.
std::string library_sort_bar_text();
// What a page without items says: how to add books when there are none, else that no book
// matches the search, or the Show filter.
std::string_view library_empty_text();
