// The document scan: the documents folder walked into the library's entry table, one ScanEntry
// per book or audio file, with its display title, author, when it was last read and its kind.
// Titles and authors come from the scan cache (scan_cache.h) unless the file changed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/file_kinds.h"

constexpr size_t kMaxEntries = 10000;
constexpr size_t kScanPathMax = 4095;   // a path needing 4096 bytes or more is skipped
constexpr size_t kScanTitleMax = 511;
constexpr size_t kScanAuthorMax = 255;
constexpr int kScanDepthMax = 24;       // the root and 24 levels below it are walked
constexpr size_t kEntryTableStart = 128;

struct ScanEntry {
  std::string path;    // full path as the walk found it
  std::string title;   // the book's own title, else the file name
  std::string author;  // empty when the book names none
  int64_t last_read;   // modification time of the book's position file; 0 when it has none
  uint32_t kind;       // ScanKind
};

// Walks `root` into the entry table, writes the scan cache when it changed, sorts the entries
// with entrycmp and returns their number (0 for an empty or unreadable folder).
uint64_t ql_scan(const char* root);
// The entries of the last scan, in entrycmp order; valid until the next scan.
std::span<const ScanEntry> ql_entries();
// The entry order: "Today-"/"Today_" file names first, then the most recently read, then titles
// compared with ASCII letters folded to lower case. Negative, 0 or positive.
int entrycmp(const ScanEntry& a, const ScanEntry& b);

// The file name of a path: the text after its last "/", or the whole path when it has none.
std::string_view path_file_name(std::string_view path);

// What the last scan did, for the benchmark and tests: files whose metadata was read from the
// book itself, and files answered by the cache.
struct ScanStats {
  uint64_t probed = 0;
  uint64_t cached = 0;
};
ScanStats ql_scan_stats();
