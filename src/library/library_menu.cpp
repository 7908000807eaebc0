#include "library/library_menu.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "app/ui/app_state.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_state.h"
#include "library/collections.h"
#include "library/document_scan.h"
#include "library/library_view.h"
#include "settings/settings_pages.h"

namespace {

constexpr size_t kNameBufferSize = kCollectionNameMax + 1;
constexpr std::string_view kCreateRow = "+ Create collection";
constexpr std::string_view kDeleteQuestion = "Delete this collection? Books are not deleted.";
constexpr std::string_view kDeleteAction = "Delete";
inline constexpr std::array<std::string_view, 6> kShowChoices = {
    "All", "Books", "Docs (PDF)", "Audiobooks", "Unread", "Read"};

enum MenuRow : size_t {
  ROW_SORT, ROW_SHOW, ROW_VIEW, ROW_COLLECTIONS, ROW_AUTHORS, ROW_CLEAR, ROW_SETTINGS
};

std::optional<size_t> list(std::string_view title, std::span<const std::string_view> rows) {
  return ui_list_menu(title.data(), title.size(), rows);
}

std::optional<std::string_view> edit_name(std::string_view title, char (&buffer)[kNameBufferSize],
                                          std::string_view initial) {
  return keyboard_edit(title.data(), title.size(), buffer, sizeof buffer, initial.data(),
                       initial.size(), false);
}

void choose_sort() {
  std::array<std::string_view, kSortLabels.size()> rows;
  std::copy(kSortLabels.begin(), kSortLabels.end(), rows.begin());
  if (const std::optional<size_t> pick = list("Sort by", rows)) ui_state.sort = uint8_t(*pick);
}

void choose_show() {
  const std::optional<size_t> pick = list("Show", kShowChoices);
  if (pick) ui_state.filter = uint8_t(*pick);
}

void choose_author() {
  const std::vector<std::string> authors = library_menu_authors();
  const std::vector<std::string_view> rows(authors.begin(), authors.end());
  const std::optional<size_t> pick = list("Authors", rows);
  if (!pick) return;
  const std::string& author = authors[*pick];
  memcpy(library.filter_author, author.data(), author.size());
  library.filter_author[author.size()] = '\0';
  ui_state.filter = FILTER_AUTHOR;
}

void create_collection() {
  char buffer[kNameBufferSize] = {};
  if (const std::optional<std::string_view> name = edit_name("New collection name", buffer, "")) {
    collection_create(*name);
  }
}

// The actions of one collection until back; true when it was opened in the library.
bool collection_actions(size_t collection) {
  constexpr std::array<std::string_view, 3> kRows = {"Open", "Rename",
                                                     "Delete collection (books stay)"};
  for (;;) {
    const std::string title(collection_name(collection));
    const std::optional<size_t> pick = list(title, kRows);
    if (!pick) return false;
    if (*pick == 0) {
      ui_state.filter = FILTER_COLLECTION;
      library.filter_collection = collection;
      app.library_page = 0;
      return true;
    }
    if (*pick == 1) {
      char buffer[kNameBufferSize] = {};
      const std::optional<std::string_view> name = edit_name("Rename collection", buffer, title);
      if (name) collection_rename(collection, *name);
    } else if (ui_confirm(kDeleteQuestion.data(), kDeleteQuestion.size(), kDeleteAction.data(),
                          kDeleteAction.size())) {
      collection_delete(collection);
      return false;
    }
  }
}

void collections_dialog() {
  for (;;) {
    std::vector<std::string_view> rows = {kCreateRow};
    for (size_t i = 0; i < collections.count; i++) rows.push_back(collection_name(i));
    const std::optional<size_t> pick = list("Collections", rows);
    if (!pick) return;
    if (*pick == 0) {
      create_collection();
    } else if (collection_actions(*pick - 1)) {
      return;
    }
  }
}

std::string row_text(std::string_view label, const char* value) {
  return std::string(label) + value;
}

}  // namespace

std::vector<std::string> library_menu_authors() {
  std::vector<std::string> authors;
  for (const ScanEntry& e : ql_entries()) {
    if (authors.size() >= kMaxMenuAuthors) break;
    const std::string_view author = std::string_view(e.author).substr(0, kFilterAuthorMax);
    if (!author.empty() && std::find(authors.begin(), authors.end(), author) == authors.end()) {
      authors.emplace_back(author);
    }
  }
  std::stable_sort(authors.begin(), authors.end(), [](const std::string& a, const std::string& b) {
    return library_compare_folded(a, b) < 0;
  });
  return authors;
}

void library_menu() {
  const std::string sort = row_text("Sort by: ", kSortLabels[std::min<size_t>(ui_state.sort, 2)]);
  const char* filter = ui_state.filter < kFilterLabels.size() ? kFilterLabels[ui_state.filter] : "";
  const std::string show = row_text("Show: ", filter);
  const std::array<std::string_view, 7> rows = {
      sort, show, ui_state.grid ? "View: Grid" : "View: List", "Collections", "Authors",
      "Clear search", "Settings"};
  const std::optional<size_t> pick = list("Library", rows);
  if (!pick) return;
  switch (*pick) {
    case ROW_SORT: choose_sort(); break;
    case ROW_SHOW: choose_show(); break;
    case ROW_VIEW: ui_state.grid = !ui_state.grid; break;
    case ROW_COLLECTIONS: collections_dialog(); break;
    case ROW_AUTHORS: choose_author(); break;
    case ROW_CLEAR: memset(library.search_query, 0, sizeof library.search_query); break;
    default: settings_pages(); break;
  }
  app.library_page = 0;
  ui_save();
  library_rebuild_view();
}
