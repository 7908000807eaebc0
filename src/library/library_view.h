// The library's view list: the scanned documents that pass the Show filter, the search and the
// hiding rules, in the chosen order, with new books, the newest Morning Paper edition and the
// book closed last pinned to the front. The sort and Show choices are ui_state.sort and
// ui_state.filter.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "audio/audio_book.h"
#include "library/document_scan.h"

constexpr size_t kFilterAuthorMax = 127;
constexpr size_t kSearchQueryMax = 64;  // all 64 bytes may be used
constexpr size_t kClosedNameMax = 199;

enum LibrarySort : uint8_t { SORT_RECENT = 0, SORT_TITLE = 1, SORT_AUTHOR = 2 };
enum LibraryFilter : uint8_t {
  FILTER_ALL = 0,
  FILTER_BOOKS = 1,
  FILTER_DOCS = 2,
  FILTER_AUDIOBOOKS = 3,
  FILTER_UNREAD = 4,
  FILTER_READ = 5,
  FILTER_COLLECTION = 6,
  FILTER_AUTHOR = 7,
};
inline constexpr std::array<const char*, 3> kSortLabels = {"Recent", "Title", "Author"};
inline constexpr std::array<const char*, 8> kFilterLabels = {
    "All", "Books", "Docs", "Audiobooks", "Unread", "Read", "Collection", "Author"};

struct LibraryView {
  uint32_t scan_generation = 0;  // raised by every rescan
  uint64_t entry_count = 0;      // entries of the last scan
  std::array<uint16_t, kMaxEntries> view_list{};  // entry numbers in display order
  uint64_t view_count = 0;
  uint64_t filter_collection = 0;              // the collection Show "Collection" lists
  char filter_author[kFilterAuthorMax + 1] = {};  // the author Show "Author" lists
  char search_query[kSearchQueryMax] = {};     // empty: no search; not terminated when full
  char closed_name[kClosedNameMax + 1] = {};   // file name of the book closed last
  uint64_t latest_paper = 0;                   // entry of the newest Morning Paper edition
  bool latest_paper_set = false;
};
// Only the core thread touches it (see app_assert_core).
extern LibraryView library;

// The documents folder: $QUILLO_DOCS, else /mnt/us/documents.
const char* library_documents_root();

// Rescans the documents folder, finds the newest Morning Paper edition and rebuilds the view list
// (after books may have been added or removed).
void library_rescan_documents();
// Rebuilds the view list from the current entry table (after a change of sort, filter or search,
// or of progress).
void library_rebuild_view();
// True when entry a goes before entry b in the view list.
bool library_view_less_than(uint64_t a, uint64_t b);
// The entry's row in the new-books list when it counts as a new book: listed there and not yet
// opened past its first page nor marked read.
std::optional<uint64_t> library_new_book_position(uint64_t entry);
// An entry under a "Morning Paper" folder.
bool entry_is_paper(uint64_t entry);
// The folder of an audio entry that is one part of a multi-file audiobook (another audio entry
// lies in the same folder, which is not "documents" nor "Audiobooks"), without the final "/".
std::optional<std::string_view> audiobook_part_folder(uint64_t entry);
// The audiobook the audio file at `path` belongs to: a folder book when a library entry of kind
// audio has exactly this path and audiobook_part_folder names a folder for it (the parts are
// then the audio entries of that folder, in entry order), else the file alone.
AudioBook audiobook_of(std::string_view path);
// Byte order with A to Z folded to lower case, a prefix first: the title and author orders.
// Negative, 0 or positive.
int library_compare_folded(std::string_view a, std::string_view b);
// The search text as a view (search_query may fill all its bytes).
std::string_view library_search_text();
