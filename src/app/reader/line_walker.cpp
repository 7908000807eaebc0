#include "app/reader/line_walker.h"

#include <cstring>

#include "base/utf8.h"
#include "display/framebuffer.h"

namespace {
}  // namespace

std::string_view WordPiece::make(const char* text, uint32_t from, uint32_t cut) {
  const size_t max_content = kMaxPieceBytes - (cut != 0 ? 1 : 0);
  // Only as much of the text is looked at as a piece can show.
  const size_t avail = strnlen(text, size_t{from} + kMaxPieceBytes + 1);
  const size_t begin = std::min<size_t>(from, avail);
  size_t end = cut != 0 ? std::clamp<size_t>(cut, begin, avail) : avail;
  if (cut == 0 && end - begin <= max_content) return {text + begin, end - begin};
  if (end - begin > max_content) {
    end = begin + max_content;
    while (end > begin && utf8_is_continuation(text[end])) --end;
  }
  size_t n = end - begin;
  memcpy(buf_, text + begin, n);
  if (cut != 0) buf_[n++] = '-';
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
