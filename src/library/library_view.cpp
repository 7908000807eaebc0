#include "library/library_view.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/ui/ui_state.h"
#include "base/utf8.h"
#include "library/collections.h"
#include "store/new_books.h"
#include "library/progress_index.h"

LibraryView library;

namespace {

constexpr char kDefaultDocuments[] = "/mnt/us/documents";


bool contains_folded(std::string_view text, std::string_view query) {
  if (query.size() > text.size()) return false;
  for (size_t start = 0; start + query.size() <= text.size(); start++) {
    size_t i = 0;
    while (i < query.size() && ascii_lower(text[start + i]) == ascii_lower(query[i])) i++;
    if (i == query.size()) return true;
  }
  return false;
}

std::string_view folder_of(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

// What places an entry ahead of the sort order, worked out once per entry for a rebuild.
struct PinFacts {
  std::optional<uint64_t> new_position;
  bool latest_paper = false;
  bool just_closed = false;
};

PinFacts pin_facts(uint64_t entry) {
  PinFacts f;
  f.new_position = library_new_book_position(entry);
  f.latest_paper = library.latest_paper_set && library.latest_paper == entry;
  if (library.closed_name[0] != '\0') {
    std::string_view name = path_file_name(ql_entries()[entry].path);
    f.just_closed = name.substr(0, kClosedNameMax) == library.closed_name;
  }
  return f;
}

bool ordered_before(uint64_t a, const PinFacts& fa, uint64_t b, const PinFacts& fb) {
  if (fa.new_position.has_value() != fb.new_position.has_value()) return fa.new_position.has_value();
  if (fa.new_position && *fa.new_position != *fb.new_position) {
    return *fa.new_position < *fb.new_position;
  }
  if (fa.latest_paper != fb.latest_paper) return fa.latest_paper;
  if (ui_state.sort == SORT_RECENT && fa.just_closed != fb.just_closed) return fa.just_closed;
  const std::span<const ScanEntry> es = ql_entries();
  switch (ui_state.sort) {
    case SORT_TITLE: return library_compare_folded(es[a].title, es[b].title) < 0;
    case SORT_AUTHOR: return library_compare_folded(es[a].author, es[b].author) < 0;
    default: return a < b;
  }
}

bool passes_filter(const ScanEntry& e, uint8_t read) {
  switch (ui_state.filter) {
    case FILTER_BOOKS: return e.kind == KIND_EPUB || e.kind == KIND_OTHER_BOOK;
    case FILTER_DOCS: return e.kind == KIND_PDF;
    case FILTER_AUDIOBOOKS: return e.kind == KIND_AUDIO;
    case FILTER_UNREAD: return read == 0;
    case FILTER_READ: return read == 1;
    case FILTER_COLLECTION: {
      const std::string_view name = path_file_name(e.path);
      return collection_has_book(library.filter_collection, name.data(), name.size());
    }
    case FILTER_AUTHOR:
      return std::string_view(e.author).substr(0, kFilterAuthorMax) == library.filter_author;
    default: return true;
  }
}

// A multi-file audiobook is listed once, by the part with the smallest path.
bool is_later_audiobook_part(uint64_t entry) {
  const std::optional<std::string_view> folder = audiobook_part_folder(entry);
  if (!folder) return false;
  const std::span<const ScanEntry> es = ql_entries();
  for (uint64_t j = 0; j < es.size(); j++) {
    if (j == entry || es[j].kind != KIND_AUDIO || folder_of(es[j].path) != *folder) continue;
    if (es[j].path < es[entry].path) return true;
  }
  return false;
}

bool matches_search(const ScanEntry& e, std::string_view query) {
  return query.empty() || contains_folded(e.title, query) || contains_folded(e.author, query);
}

std::array<PinFacts, kMaxEntries> pins;

}  // namespace

int library_compare_folded(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; i++) {
    const unsigned char ca = ascii_lower(a[i]), cb = ascii_lower(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

const char* library_documents_root() {
  const char* docs = getenv("QUILLO_DOCS");
  return docs ? docs : kDefaultDocuments;
}

std::string_view library_search_text() {
  return std::string_view(library.search_query, strnlen(library.search_query, kSearchQueryMax));
}

bool entry_is_paper(uint64_t entry) {
  const std::span<const ScanEntry> es = ql_entries();
  return entry < es.size() && es[entry].path.find("/Morning Paper/") != std::string::npos;
}

std::optional<std::string_view> audiobook_part_folder(uint64_t entry) {
  const std::span<const ScanEntry> es = ql_entries();
  if (entry >= es.size() || es[entry].kind != KIND_AUDIO) return std::nullopt;
  const std::string_view folder = folder_of(es[entry].path);
  const std::string_view last = path_file_name(folder);
  if (folder.empty() || last == "documents" || last == "Audiobooks") return std::nullopt;
  for (uint64_t j = 0; j < es.size(); j++) {
    if (j != entry && es[j].kind == KIND_AUDIO && folder_of(es[j].path) == folder) return folder;
  }
  return std::nullopt;
}

std::optional<uint64_t> library_new_book_position(uint64_t entry) {
  new_books_load();
  const std::span<const ScanEntry> es = ql_entries();
  if (entry >= es.size()) return std::nullopt;
  const std::string_view name = path_file_name(es[entry].path);
  for (size_t row = 0; row < new_books.count; row++) {
    if (new_book_name(row) != name) continue;
    const ProgressRecord* r = library_find_record(name.data(), name.size());
    if (!r || (r->percent == 0 && !r->read)) return row;
    return std::nullopt;
  }
  return std::nullopt;
}

bool library_view_less_than(uint64_t a, uint64_t b) {
  return ordered_before(a, pin_facts(a), b, pin_facts(b));
}

void library_rescan_documents() {
  library.scan_generation++;
  library.entry_count = ql_scan(library_documents_root());
  library.latest_paper = 0;
  library.latest_paper_set = false;
  const std::span<const ScanEntry> es = ql_entries();
  std::string_view newest;
  for (uint64_t i = 0; i < es.size(); i++) {
    if (!entry_is_paper(i)) continue;
    const std::string_view name = path_file_name(es[i].path);
    if (!library.latest_paper_set || name > newest) {
      newest = name;
      library.latest_paper = i;
      library.latest_paper_set = true;
    }
  }
  library_rebuild_view();
}

void library_rebuild_view() {
  library.view_count = 0;
  const std::span<const ScanEntry> es = ql_entries();
  const std::string_view query = library_search_text();
  for (uint64_t i = 0; i < es.size() && library.view_count < kMaxEntries; i++) {
    const ScanEntry& e = es[i];
    const std::string_view name = path_file_name(e.path);
    const ProgressRecord* r = library_find_record(name.data(), name.size());
    pins[i] = pin_facts(i);
    if (!passes_filter(e, r ? r->read : 0) && !pins[i].new_position) continue;
    if (entry_is_paper(i) && !pins[i].latest_paper) continue;
    if (e.kind == KIND_AUDIO && is_later_audiobook_part(i)) continue;
    if (!matches_search(e, query)) continue;
    library.view_list[library.view_count++] = static_cast<uint16_t>(i);
  }
  std::stable_sort(library.view_list.begin(), library.view_list.begin() + library.view_count,
                   [](uint16_t a, uint16_t b) { return ordered_before(a, pins[a], b, pins[b]); });
}

AudioBook audiobook_of(std::string_view path) {
  const std::span<const ScanEntry> es = ql_entries();
  for (uint64_t i = 0; i < es.size(); i++) {
    if (es[i].kind != KIND_AUDIO || es[i].path != path) continue;
    const std::optional<std::string_view> folder = audiobook_part_folder(i);
    if (!folder) break;
    std::vector<std::string> parts;
    for (const ScanEntry& e : es)
      if (e.kind == KIND_AUDIO && folder_of(e.path) == *folder && parts.size() < kMaxAudioParts)
        parts.push_back(e.path);
    return audio_book_make(path, *folder, parts);
  }
  return audio_book_make(path, {}, {});
}
