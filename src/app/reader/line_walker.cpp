#include "app/reader/line_walker.h"

#include <cstring>

#include "base/utf8.h"
#include "display/framebuffer.h"

std::string_view WordPiece::make(const char* text, uint32_t from, uint32_t cut, bool hyphen) {
  hyphen = hyphen && cut != 0;
  const size_t max_content = kMaxPieceBytes - (hyphen ? 1 : 0);
  // Only as much of the text is looked at as a piece can show.
  const size_t avail = strnlen(text, size_t{from} + kMaxPieceBytes + 1);
  const size_t begin = std::min<size_t>(from, avail);
  const size_t end = cut != 0 ? std::clamp<size_t>(cut, begin, avail) : avail;
  const std::string_view source(text + begin, end - begin);
  const std::string_view shown = strip_soft_hyphens(source, scratch_);
  // The word's own bytes end with its NUL, so an uncut piece without soft hyphens needs no copy.
  if (cut == 0 && shown.data() == source.data() && shown.size() <= max_content) return shown;
  size_t n = utf8_prefix_length(shown, max_content);
  memcpy(buf_, shown.data(), n);
  if (hyphen) buf_[n++] = '-';
  buf_[n] = 0;
  return {buf_, n};
}

PageMetrics page_metrics(const PageTable& table, const LayoutSource& source) {
  const PageGeometry g = page_geometry(table, source.screen_w, source.screen_h);
  PageMetrics m;
  m.words = source.words;
  m.measure = source.measure;
  m.margin = g.margin;
  m.text_width = g.text_width;
  m.size = g.size;
  m.space = source.measure(" ", TS_REGULAR, g.size);
  return m;
}

PageMetrics reader_page_metrics() {
  LayoutSource source;
  source.words = std::span<const BookWord>(ql_words(), ql_word_count());
  source.screen_w = ql_fb().width;
  source.screen_h = ql_fb().height;
  source.measure = ql_measure;
  return page_metrics(layout, source);
}
