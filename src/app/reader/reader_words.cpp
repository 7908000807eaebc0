#include "app/reader/reader_words.h"

#include <cmath>
#include <cstring>
#include <string>

#include "app/reader/line_walker.h"
#include "app/reader/paginator.h"
#include "base/utf8.h"
#include "book/book_model.h"

namespace {
constexpr float kLineMidRise = 0.35f;   // of the text size: the middle of a line above its baseline
constexpr float kLineReach = 2.0f;      // of the text size: farther from every line is no word
}  // namespace

std::optional<WordBox> reader_word_box(uint64_t page, uint64_t word) {
  if (page >= layout.page_count()) return std::nullopt;
  const auto [first, last] = layout.page_lines(page);
  const PageMetrics m = reader_page_metrics();
  if (word >= m.words.size() || m.words[word].style == STYLE_PICTURE) return std::nullopt;
  for (size_t i = first; i < last; ++i) {
    const LayoutLine& line = layout.lines[i];
    if (word < line.word_from || word >= line.word_to) continue;
    std::optional<WordBox> box;
    walk_line(line, m, [&](const PlacedWord& p) {
      if (p.index != word) return true;
      box = WordBox{p.x, line.y, p.width};
      return false;
    });
    return box;
  }
  return std::nullopt;
}

namespace {
// The line of a page nearest a point's y, within two text sizes; of equal distances the first.
std::optional<size_t> line_at(uint64_t page, float y, const PageMetrics& m) {
  if (page >= layout.page_count()) return std::nullopt;
  const auto [first, last] = layout.page_lines(page);
  std::optional<size_t> best;
  float best_distance = kLineReach * m.size;
  for (size_t i = first; i < last; ++i) {
    const float d = std::fabs(y - (layout.lines[i].y - kLineMidRise * m.size));
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return best;
}
}  // namespace

std::optional<uint64_t> reader_word_at_point(uint64_t page, float x, float y) {
  const PageMetrics m = reader_page_metrics();
  const std::optional<size_t> line = line_at(page, y, m);
  if (!line) return std::nullopt;
  std::optional<uint64_t> hit;
  std::optional<uint64_t> last_word;
  walk_line(layout.lines[*line], m, [&](const PlacedWord& p) {
    if (m.words[p.index].style == STYLE_PICTURE) return true;  // pictures take no room here
    last_word = p.index;
    if (p.x + p.width >= x) {
      hit = p.index;
      return false;
    }
    return true;
  });
  return hit ? hit : last_word;
}

std::optional<size_t> reader_byte_at_point(uint64_t page, uint64_t word, float x, float y) {
  const PageMetrics m = reader_page_metrics();
  const std::optional<size_t> line = line_at(page, y, m);
  if (!line) return std::nullopt;
  const LayoutLine& l = layout.lines[*line];
  std::optional<size_t> byte;
  walk_line(l, m, [&](const PlacedWord& p) {
    if (p.index != word) return true;
    const BookWord& w = m.words[word];
    // The piece starts this far into the word's text as the selection reads it (soft hyphens
    // left out).
    std::string plain;
    const size_t from = p.line_start ? l.start_off : 0;
    size_t at = strip_soft_hyphens(std::string_view(w.text, strnlen(w.text, from)), plain).size();
    // The first character whose right edge reaches x; the last one when x lies past them all.
    std::string prefix;
    for (size_t i = 0; i < p.shown.size();) {
      size_t next = i + 1;
      while (next < p.shown.size() && utf8_is_continuation(p.shown[next])) ++next;
      prefix.assign(p.shown.substr(0, next));
      if (p.x + m.measure(prefix.c_str(), static_cast<TextStyle>(w.style), m.size) >= x ||
          next == p.shown.size()) {
        break;
      }
      at += next - i;
      i = next;
    }
    byte = at;
    return false;
  });
  return byte;
}

std::string_view words_join_text(uint64_t from, uint64_t to, char* buffer, size_t capacity) {
  const uint64_t count = ql_word_count();
  const BookWord* words = ql_words();
  to = std::min(to, count);
  size_t n = 0;
  auto append = [&](const char* text, size_t len) {
    const size_t room = capacity - n;
    const size_t take = std::min(len, room);
    memcpy(buffer + n, text, take);
    n += take;
    return take == len;
  };
  std::string plain;
  for (uint64_t i = from; i < to; ++i) {
    const BookWord& w = words[i];
    if (w.style == STYLE_PICTURE) continue;
    if (n > 0 && !w.join && !append(" ", 1)) break;
    const std::string_view text = strip_soft_hyphens(w.text, plain);
    if (!append(text.data(), text.size())) break;
  }
  return {buffer, n};
}

std::string_view format_quoted(char* buffer, size_t capacity, std::string_view text) {
  if (capacity == 0) return {};
  if (text.size() > capacity || capacity - text.size() < 3) {
    buffer[0] = 0;
    return {buffer, 0};
  }
  buffer[0] = '"';
  memcpy(buffer + 1, text.data(), text.size());
  buffer[text.size() + 1] = '"';
  buffer[text.size() + 2] = 0;
  return {buffer, text.size() + 2};
}
