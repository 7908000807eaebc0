#include "library/scan_cache.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <vector>

#include "base/atomic_file.h"
#include "base/paths.h"
#include "base/text_lines.h"
#include "base/tsv_field.h"
#include "book/annotations.h"

namespace {

constexpr uint32_t kFnv32Offset = 0x811c9dc5;
constexpr uint32_t kFnv32Prime = 16777619;
constexpr uint32_t kSlotMask = kScanCacheSlots - 1;
// The version of the reading that fills a record, written after its author. A line without it
// was written before "&nbsp;" in a title or author became a plain space: searches do not find
// such a title by its words, so the book is read again.
constexpr std::string_view kRecordVersion = "2";

std::vector<ScanCacheRecord> scache;
std::array<uint32_t, kScanCacheSlots> sc_tab{};
bool sc_loaded = false;
bool sc_dirty = false;
bool sc_keep = true;

uint32_t path_slot(std::string_view path) {
  uint32_t h = kFnv32Offset;
  for (unsigned char c : path) {
    h ^= c;
    h *= kFnv32Prime;
  }
  return h & kSlotMask;
}

// The slot holding the path's record, or the empty slot where it would go; nothing when every
// slot holds another path (the index is full).
std::optional<uint32_t> probe(std::string_view path) {
  uint32_t slot = path_slot(path);
  for (size_t step = 0; step < kScanCacheSlots; step++, slot = (slot + 1) & kSlotMask) {
    uint32_t held = sc_tab[slot];
    if (held == 0 || scache[held - 1].path == path) return slot;
  }
  return std::nullopt;
}

std::string cache_file() { return state_folder() + "/" + kScanCacheName; }

// Ends a record's line: its version, unless it was read from an earlier one and not since.
void append_record_end(std::string& line, const ScanCacheRecord& r) {
  if (!r.outdated) {
    line += '\t';
    line += kRecordVersion;
  }
  line += '\n';
}

// "path\tmtime\tsize\ttitle\tauthor\tversion": fewer than four tabs is no record; a fifth ends
// the author, and a sixth the version.
void load_line(std::string_view line) {
  size_t cut = line.find_first_of("\r\n");
  if (cut != std::string_view::npos) line = line.substr(0, cut);
  std::array<std::string_view, 6> field;
  for (size_t n = 0; n < field.size(); n++) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos && n < 4) return;
    field[n] = line.substr(0, tab);
    if (tab == std::string_view::npos) break;
    line.remove_prefix(tab + 1);
  }
  auto number = [](std::string_view text) {
    return static_cast<int64_t>(strtoll(std::string(text).c_str(), nullptr, 10));
  };
  if (sc_put(tsv_unescape(field[0]), number(field[1]), number(field[2]), tsv_unescape(field[3]),
             tsv_unescape(field[4]))) {
    scache.back().outdated = field[5] != kRecordVersion;
  }
}

}  // namespace

void sc_load() {
  if (sc_loaded) return;
  sc_loaded = true;
  const bool was_dirty = sc_dirty;  // what the file holds needs no write
  text_each_line(cache_file().c_str(), [](std::string_view line) {
    if (line.size() < kScanCacheLineMax) load_line(line);
    return true;
  });
  sc_dirty = was_dirty;
}

bool sc_put(std::string_view path, int64_t mtime, int64_t size, std::string_view title,
            std::string_view author) {
  std::optional<uint32_t> slot = probe(path);
  if (!slot) return false;
  try {
    scache.push_back({std::string(path), mtime, size, std::string(title), std::string(author)});
  } catch (const std::bad_alloc&) {
    return false;
  }
  sc_tab[*slot] = static_cast<uint32_t>(scache.size());
  sc_dirty = true;
  return true;
}

ScanCacheRecord* sc_find(std::string_view path) {
  std::optional<uint32_t> slot = probe(path);
  if (!slot || sc_tab[*slot] == 0) return nullptr;
  return &scache[sc_tab[*slot] - 1];
}

void sc_replace(ScanCacheRecord& record, int64_t mtime, int64_t size, std::string_view title,
                std::string_view author) {
  try {
    std::string t(title), a(author);
    record.title = std::move(t);
    record.author = std::move(a);
  } catch (const std::bad_alloc&) {
    return;  // the record keeps its old values and is probed again next time
  }
  record.mtime = mtime;
  record.size = size;
  record.outdated = false;
  sc_dirty = true;
}

void sc_save() {
  if (!sc_dirty || !sc_keep) return;
  sc_dirty = false;
  const std::string final_path = cache_file();
  char tmp[kTmpPathSize];
  const char* tmp_path = path_with_tmp_suffix(tmp, final_path.c_str());
  FILE* f = file_create_new(tmp_path);
  if (!f) return;
  std::string line;
  for (const ScanCacheRecord& r : scache) {
    line.clear();
    tsv_escape_append(line, r.path);
    line += '\t' + std::to_string(r.mtime) + '\t' + std::to_string(r.size) + '\t';
    tsv_escape_append(line, r.title);
    line += '\t';
    tsv_escape_append(line, r.author);
    append_record_end(line, r);
    if (fwrite(line.data(), 1, line.size(), f) != line.size()) break;
  }
  file_commit(f, tmp_path, final_path.c_str());
}

void sc_keep_file(bool keep) { sc_keep = keep; }

void scan_cache_forget() {
  scache.clear();
  sc_tab.fill(0);
  sc_loaded = false;
  sc_dirty = false;
}
