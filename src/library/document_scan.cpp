#include "library/document_scan.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <vector>

#include "base/file_kinds.h"
#include "base/paths.h"
#include "base/utf8.h"
#include "book/annotations.h"
#include "book/convert/convert.h"
#include "book/epub.h"
#include "book/pdf_adapter.h"
#include "book/zip_reader.h"
#include "library/scan_cache.h"

namespace {

std::vector<ScanEntry> entries;
ScanStats stats;


uint32_t scan_kind(FileKind kind) {
  switch (kind) {
    case FileKind::audio:
      return KIND_AUDIO;
    case FileKind::epub:
      return KIND_EPUB;
    case FileKind::pdf:
      return KIND_PDF;
    default:
      return KIND_OTHER_BOOK;
  }
}

bool is_blank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

struct BookFacts {
  std::string title;
  std::string author;
};

// The title and author a book names. EPUBs are read through the book engine's package reader
// over a ZIP archive of their own, and PDFs as a document of their own, so the open book is never
// touched; FB2 and MOBI-family books through the converter's quick probe (other kinds it knows
// nothing of, such as comics and text, come back empty and are cached so).
std::optional<BookFacts> probe_book(const std::string& path, uint32_t kind) {
  if (kind == KIND_AUDIO) return std::nullopt;
  stats.probed++;
  BookFacts facts;
  if (kind == KIND_PDF || kind == KIND_OTHER_BOOK) {
    char title[kScanTitleMax + 1], author[kScanAuthorMax + 1];
    if (kind == KIND_PDF) {
      qlpdf_meta(path.c_str(), title, sizeof title, author, sizeof author);
    } else {
      ql_convert_meta(path.c_str(), title, sizeof title, author, sizeof author);
    }
    facts.title = title;
    facts.author = author;
  } else {
    ZipArchive zip;
    if (zipopen_mode(zip, path.c_str(), 1)) {
      if (std::optional<OpfDocument> opf = getopf(zip)) {
        BookMeta meta = metadata(opf->text);
        facts.title = std::move(meta.title);
        facts.author = std::move(meta.author);
      }
      zipclose(zip);
    }
  }
  if (is_blank(facts.title)) facts.title.clear();
  if (facts.title.size() > kScanTitleMax) facts.title.resize(kScanTitleMax);
  if (facts.author.size() > kScanAuthorMax) facts.author.resize(kScanAuthorMax);
  return facts;
}

// Title and author from the cache when the file is unchanged, else from the book (and into the
// cache). A title or author left empty keeps the entry's own.
void fill_metadata(ScanEntry& e, int64_t mtime, int64_t size) {
  sc_load();
  ScanCacheRecord* record = sc_find(e.path);
  if (record && !record->outdated && record->mtime == mtime && record->size == size) {
    stats.cached++;
    if (!record->title.empty()) e.title = record->title;
    e.author = record->author;
    return;
  }
  std::optional<BookFacts> facts = probe_book(e.path, e.kind);
  if (!facts) return;
  // Empty texts are stored too, so a book without metadata is not opened again until it changes.
  if (record) {
    sc_replace(*record, mtime, size, facts->title, facts->author);
  } else {
    sc_put(e.path, mtime, size, facts->title, facts->author);
  }
  if (!facts->title.empty()) e.title = std::move(facts->title);
  if (!facts->author.empty()) e.author = std::move(facts->author);
}

// A book's position file, looked up from the open state folder (`state`): most books of a large
// library have none, and each look-up is then one step, not a walk of the whole path.
int64_t last_read_time(int state, const std::string& path) {
  const std::string pos = book_path_key(path) + ".pos";
  struct stat st;
  return state >= 0 && fstatat(state, pos.c_str(), &st, 0) == 0 ? static_cast<int64_t>(st.st_mtime) : 0;
}

bool append_entry(std::string path, uint32_t kind) {
  try {
    std::string title(path_file_name(path));
    entries.push_back({std::move(path), std::move(title), {}, 0, kind});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Walks one folder; folders are walked as they are met, before the rest of their parent.
void scan(const std::string& dir, int depth, int state) {
  if (depth > kScanDepthMax || entries.size() >= kMaxEntries) return;
  DirPtr d(qlp_opendir(dir.c_str()));
  if (!d) return;
  while (dirent* item = readdir(d.get())) {
    const std::string_view name = item->d_name;
    if (name.starts_with('.')) continue;
    if (dir.size() + 1 + name.size() > kScanPathMax) continue;
    std::string path = dir + "/" + std::string(name);
    // From the open folder: a library of thousands of books is not a path walk for each.
    struct stat st;
    if (fstatat(dirfd(d.get()), item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      scan(path, depth + 1, state);
      if (entries.size() >= kMaxEntries) return;
      continue;
    }
    if (!S_ISREG(st.st_mode)) continue;
    if (!is_listed_by_scan(path)) continue;
    const FileKind kind = file_kind_row(path)->kind;
    // Books inside a dictionaries folder are dictionaries; audio there is still audio.
    if (kind != FileKind::audio && path.find("/dictionaries/") != std::string::npos) continue;
    if (!append_entry(std::move(path), scan_kind(kind))) return;
    ScanEntry& e = entries.back();
    fill_metadata(e, static_cast<int64_t>(st.st_mtime), static_cast<int64_t>(st.st_size));
    e.last_read = last_read_time(state, e.path);
    if (entries.size() >= kMaxEntries) return;
  }
}

bool is_today_name(std::string_view path) {
  std::string_view name = path_file_name(path);
  return name.starts_with("Today-") || name.starts_with("Today_");
}

}  // namespace

std::string_view path_file_name(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

namespace {
// The order's first two keys, then titles compared with ASCII letters folded to lower case.
int order(bool today_a, int64_t read_a, const std::string& title_a, bool today_b, int64_t read_b,
          const std::string& title_b) {
  if (today_a != today_b) return today_a ? -1 : 1;
  if (read_a != read_b) return read_a > read_b ? -1 : 1;
  const size_t n = std::min(title_a.size(), title_b.size());
  for (size_t i = 0; i < n; i++) {
    const unsigned char ca = ascii_lower(title_a[i]), cb = ascii_lower(title_b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return title_a.size() < title_b.size() ? -1 : title_a.size() > title_b.size() ? 1 : 0;
}

// Sorts the table by its keys, each file name looked at once: a library of thousands of books
// is otherwise compared name by name some ten times over, and its entries moved as often.
// Without memory for the keys the table is sorted in place.
void sort_entries() {
  struct Key {
    bool today;
    int64_t last_read;
    uint32_t at;
  };
  std::vector<Key> keys;
  std::vector<ScanEntry> sorted;
  try {
    keys.reserve(entries.size());
    sorted.reserve(entries.capacity());
  } catch (const std::bad_alloc&) {
    std::sort(entries.begin(), entries.end(),
              [](const ScanEntry& a, const ScanEntry& b) { return entrycmp(a, b) < 0; });
    return;
  }
  for (size_t i = 0; i < entries.size(); i++)
    keys.push_back({is_today_name(entries[i].path), entries[i].last_read, static_cast<uint32_t>(i)});
  std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    return order(a.today, a.last_read, entries[a.at].title, b.today, b.last_read, entries[b.at].title) < 0;
  });
  for (const Key& k : keys) sorted.push_back(std::move(entries[k.at]));
  entries = std::move(sorted);
}
}  // namespace

int entrycmp(const ScanEntry& a, const ScanEntry& b) {
  return order(is_today_name(a.path), a.last_read, a.title, is_today_name(b.path), b.last_read, b.title);
}

uint64_t ql_scan(const char* root) {
  if (entries.capacity() < kEntryTableStart) entries.reserve(kEntryTableStart);
  entries.clear();
  stats = {};
  const DirPtr state(qlp_opendir(state_folder().c_str()));
  scan(root ? root : "", 0, state ? dirfd(state.get()) : -1);
  sc_save();
  sort_entries();
  return entries.size();
}

std::span<const ScanEntry> ql_entries() { return entries; }

ScanStats ql_scan_stats() { return stats; }
