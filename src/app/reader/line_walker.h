// The one place that says where each word of a laid-out line stands. The paginator measures
// pieces with WordPiece; drawing, word boxes, the word under a point and link taps walk lines with
// walk_line, so every caller places words exactly where the paginator measured them.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "app/reader/paginator.h"

// The bytes a line shows of one word: the word from a start offset, or cut at a break point with
// a hyphen after it, never longer than kMaxPieceBytes (cut back to a whole UTF-8 character).
constexpr size_t kMaxPieceBytes = 258;

class WordPiece {
 public:
  // A NUL-terminated view of `text` from byte `from`, ending at byte `cut` with "-" appended when
  // `cut` is not 0. Valid until the next call. Offsets past the text's end give "" (plus "-").
  std::string_view make(const char* text, uint32_t from, uint32_t cut);

 private:
  char buf_[kMaxPieceBytes + 1];
};

// What a walk needs: the words, the measurer the layout was made with, and the page geometry.
struct PageMetrics {
  std::span<const BookWord> words;
  float (*measure)(const char* text, TextStyle style, float size) = nullptr;
  float margin = 0;
  float text_width = 0;
  float size = 0;
  float space = 0;  // one space of the regular style at the text size
};

PageMetrics page_metrics(const PageTable& table, const LayoutSource& source);
// The open book under the current layout and screen.
PageMetrics reader_page_metrics();

// One word as placed on its line. `shown` is NUL-terminated (hyphen included when cut). A picture
// line gives its picture as one word with an empty `shown`.
struct PlacedWord {
  uint64_t index;
  float x;
  float width;
  std::string_view shown;
  bool line_start;
  float gap_after;  // the pen's advance past the word to the next one on the line; 0 when none
};

// The extra room each space of a justified line gets: the line's slack spread over its gaps, at
// most 2.5 spaces each (the rest stays at the line's end).
inline float justify_extra(const LayoutLine& line, const PageMetrics& m) {
  if (!line.justify || line.gaps == 0) return 0;
  float extra = (m.text_width - line.width) / static_cast<float>(line.gaps);
  return std::clamp(extra, 0.0f, 2.5f * m.space);
}

inline bool is_picture_line(const LayoutLine& line, const PageMetrics& m) {
  return line.word_from < m.words.size() && m.words[line.word_from].style == STYLE_PICTURE;
}

// Visits the words of `line` left to right; `visit(const PlacedWord&)` returns false to stop.
template <class Visit>
void walk_line(const LayoutLine& line, const PageMetrics& m, Visit&& visit) {
  const uint64_t end = std::min<uint64_t>(line.word_to, m.words.size());
  if (line.word_from >= end) return;
  if (is_picture_line(line, m)) {
    visit(PlacedWord{
        line.word_from, m.margin + (m.text_width - line.width) / 2, line.width, {}, true, 0});
    return;
  }
  const float extra = justify_extra(line, m);
  WordPiece piece;
  float x = m.margin;
  for (uint64_t i = line.word_from; i < end; ++i) {
    const BookWord& w = m.words[i];
    const uint32_t from = i == line.word_from ? line.start_off : 0;
    const uint32_t cut = i + 1 == line.word_to ? line.cut_off : 0;
    const std::string_view shown = piece.make(w.text, from, cut);
    const float width = m.measure(shown.data(), w.style, m.size);
    const float gap = i + 1 < end && !m.words[i + 1].join ? m.space + extra : 0;
    if (!visit(PlacedWord{i, x, width, shown, i == line.word_from, gap})) return;
    x += width + gap;
  }
}
