// The scan cache: the title and author read out of each book file, keyed by the file's path and
// checked against its modification time and size, so a rescan opens no book that has not changed.
// Kept in scan-cache.tsv in the state folder ($QUILLO_STATE, else /mnt/us/ql/state), one record a
// line: path, mtime, size, title, author, separated by tabs, text fields escaped (tsv_field.h),
// then the version of the reading that filled the record, which readers of the five fields pass
// over. Records are never removed: a record of a file that is gone stays.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct ScanCacheRecord {
  std::string path;
  int64_t mtime = 0;  // seconds
  int64_t size = 0;   // bytes
  std::string title;
  std::string author;
  // Read from a line an earlier version wrote, whose title and author may differ from what this
  // one reads out of the book: the book is read again.
  bool outdated = false;
};

constexpr char kScanCacheName[] = "scan-cache.tsv";
constexpr size_t kScanCacheSlots = 65536;      // the index; a record number + 1 a slot, 0 empty
constexpr size_t kScanCacheLineMax = 16384;    // longer lines in the file are skipped whole

// Reads the cache file on the first call of the run; later calls do nothing (a missing or
// unreadable file is not tried again).
void sc_load();
// Adds a record and indexes it (the later of two records with one path wins the index); the cache
// becomes dirty. False when it was dropped: out of memory, or no free slot in the index (so a
// full index never makes the file grow by a line on every scan).
bool sc_put(std::string_view path, int64_t mtime, int64_t size, std::string_view title,
            std::string_view author);
// The indexed record of a path, or null.
ScanCacheRecord* sc_find(std::string_view path);
// Replaces a stale or outdated record's values; the cache becomes dirty.
void sc_replace(ScanCacheRecord& record, int64_t mtime, int64_t size, std::string_view title,
                std::string_view author);
// Writes the file (through a ".tmp" file and a rename) when a record was added or changed since
// the last write. A failed write is tried again only after the next change.
void sc_save();
// Whether sc_save writes the file (on by default; a run that only looks, like a screenshot, turns
// it off).
void sc_keep_file(bool keep);
// Forgets the cache in memory, so the next sc_load reads the file again (a new state folder).
void scan_cache_forget();
