// Lines and pages of the open text book for the current screen: justified, hyphenated text,
// paragraph and heading spacing and scaled pictures, as the reader draws and taps them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "book/book_model.h"
#include "display/fonts.h"

// One laid-out line. A text line's y is its baseline; a picture line's y is the picture's top.
struct LayoutLine {
  uint64_t word_from;  // first word
  uint64_t word_to;    // one past the last word
  uint64_t gaps;       // spaces in the line (boundaries before words not glued to the previous)
  float y;
  float width;         // natural width of words and spaces; drawn width of a picture
  uint16_t start_off;  // byte in the first word where the line begins (rest of a split word)
  uint16_t cut_off;    // byte where the last word is cut, a hyphen drawn after it; 0 uncut
  bool justify;        // stretched to the text width when drawn
  // The cut shows no hyphen: the line ends after a dash inside the word, or a word wider than
  // the text width was broken where it had to be.
  bool bare_cut = false;
};

// The pagination of the open text book and the inputs it was made under.
struct PageTable {
  std::vector<LayoutLine> lines;
  std::vector<uint64_t> page_starts;  // the first line of each page; page 0 starts at line 0
  // Advanced by every book open, layout load or pagination and by events that change more than
  // the page; a page rendered off screen under another generation is stale.
  uint32_t generation = 1;
  int32_t font_px = 40;
  int32_t margin_px = 64;
  int32_t line_pct = 148;
  bool align = false;  // ragged right
  // The layout key of the inputs this pagination was made under (set with the pagination, so a
  // cache written later never carries the key of inputs that changed in between).
  uint64_t key = 0;

  size_t page_count() const { return page_starts.size(); }
  // Lines [first, last) of a page; an empty range for a page past the end.
  std::pair<size_t, size_t> page_lines(uint64_t page) const;
  // The first word of a page's first line; 0 when the page or its line does not exist.
  uint64_t page_first_word(uint64_t page) const;
};

// The process-wide pagination.
// Only the core thread touches it (see app_assert_core).
extern PageTable layout;

// What a pagination reads besides the table's inputs: the words, the screen, and how text and
// pictures measure. The production source is the open book (layout_source); tests give their own.
struct LayoutSource {
  std::span<const BookWord> words;
  int32_t screen_w = 0;
  int32_t screen_h = 0;
  float (*measure)(const char* text, TextStyle style, float size) = nullptr;
  // A picture word's pixel size; false when it is not available.
  bool (*picture_size)(uint64_t word, int* w, int* h) = nullptr;
  // Break points of a word (ascending byte offsets); null when the language has no patterns.
  int (*hyphens)(const char* word, uint32_t* out, int max) = nullptr;
};

// The open book on the current screen, measured by the font layer, hyphenated by its language.
LayoutSource layout_source();

// Lays the words out into `table` with its margin, line spacing and alignment at `font_px` (which
// it stores). False when a table could not grow (out of memory); what was laid out stays.
[[nodiscard]] bool paginate(PageTable& table, const LayoutSource& source, int32_t font_px);
// paginate() of the open book into `layout`, which also takes the current layout key.
[[nodiscard]] bool layout_paginate(int32_t font_px);

// The last page whose first line's first word is at most `word`; 0 when there is none. A page
// start past the lines counts as the page before it.
uint64_t page_of_word(const PageTable& table, uint64_t word);
uint64_t layout_page_of_word(uint64_t word);

// Releases both tables' memory.
void layout_free();

// The geometry every user of a pagination derives from the screen and the layout inputs.
struct PageGeometry {
  float size;        // text size s
  float margin;      // left margin m
  float text_width;  // W - 2m
  float top;         // baseline of a page's first text line
  float bottom;      // lines end above this
  float max_picture_h;
};
PageGeometry page_geometry(const PageTable& table, int32_t screen_w, int32_t screen_h);

// A picture of iw x ih pixels scaled to the text width, the page height and at most 1.6 times
// its size; false when it takes no room.
struct PictureBox {
  float width;
  float height;
};
bool picture_box(const PageGeometry& g, int iw, int ih, PictureBox* box);
