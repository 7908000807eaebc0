// Book covers as grey pixels at the size a caller asks for, cached in memory, in per-size
// thumbnail files and in one full-size cover file per book under the covers folder.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr char kCoversFolder[] = "/mnt/us/ql/state/covers";
// The full-size cover file: 300 x 420 grey pixels, one byte each, rows top to bottom; an empty
// file marks a book without a cover.
constexpr int kCoverWidth = 300;
constexpr int kCoverHeight = 420;
constexpr size_t kCoverBytes = size_t{kCoverWidth} * kCoverHeight;

// Fills `out` (w x h bytes) with the cover of the book at `path` of the scan kind `kind`:
// 1 the cover is there, 0 the book has none, -1 it is not cached and extracting was not allowed.
int32_t cover_get(const char* path, size_t path_length, uint32_t kind, uint32_t w, uint32_t h,
                  uint8_t* out, size_t out_length, bool allow_extract);
// Keeps a scaled cover in the memory cache (the least recently used of its 12 slots gives way).
void cover_cache_put(uint64_t key, uint32_t w, uint32_t h, const uint8_t* pixels, size_t length);
// Empties the memory cache (tests, and after the cover files were removed by hand).
void cover_cache_clear();
// Whether covers taken out of books are also written to the covers folder (on by default; a run
// that only looks, like a screenshot, turns it off and keeps them in memory).
void cover_files_keep(bool keep);
