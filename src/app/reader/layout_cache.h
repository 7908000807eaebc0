// Paginations kept on disk, one ".lay" file per book path, so that reopening a book under the
// same layout skips the paginator. A file is trusted only when its layout key matches and every
// record checks out against the open book; anything else means a fresh pagination.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/reader/paginator.h"

constexpr char kLayoutFolder[] = "/mnt/us/ql/state/layout";
constexpr uint32_t kMaxLayoutLines = 4000000;
// Written in the header's reserved word: files of an older paginator (which wrote 0 there) or of
// another record layout are laid out afresh instead of trusted. 2: soft hyphens are break points
// and measure nothing, over-wide words are broken, and a record's last byte says the cut shows no
// hyphen. 3: lines may end after a dash inside a word, and a line break inside a paragraph starts
// a line with no paragraph gap. 4: hidden elements and page-break markers hold no words, no line
// ends between words that a no-break space joins, nor before closing punctuation after a dash,
// and a dash ends a line also where an inline tag touches it or as two hyphens. 5: a hidden
// picture or line break named in capitals no longer hides the rest of its chapter. 6: letters the
// reading face lacks (IPA) are measured in the fallback face instead of as the missing-glyph box.
constexpr uint32_t kLayoutFormat = 6;

// Everything a layout depends on.
struct LayoutKeyInputs {
  uint64_t book_stamp = 0;
  std::string_view font_name;  // empty for the built-in face
  int32_t font_px = 0;
  int32_t margin_px = 0;
  int32_t line_pct = 0;
  bool align = false;
  int32_t screen_w = 0;
  int32_t screen_h = 0;
  uint64_t word_count = 0;
  std::string_view language;
};
uint64_t layout_key_of(const LayoutKeyInputs& in);
// The key of the open book under the current layout inputs, font and screen.
uint64_t layout_key();

// "/mnt/us/ql/state/layout/<CacheKey of the open book's path>.lay"
std::string layout_cache_path();

// Reads a layout file made under `key` for a book of `words` on a screen `screen_h` pixels high
// into `into`. False, with `into` emptied, when the file is missing or anything in it is off.
bool layout_file_read(const char* path, uint64_t key, std::span<const BookWord> words,
                      int32_t screen_h, PageTable& into);
// Replaces the file atomically with `table` under the table's key; false keeps the old file.
bool layout_file_write(const char* path, const PageTable& table);

// The open book's layout from its file, else a fresh pagination (which sets layout_dirty).
// Advances the layout generation. False only when a fresh pagination ran out of memory.
[[nodiscard]] bool layout_cache_load();
// Writes the waiting pagination to the open book's file and clears layout_dirty.
void layout_cache_write();
// Lays the open text book out again under changed inputs, keeping the current page and the back
// mark on the pages that hold their first words.
void relayout_keep_position();
