#include "app/reader/reader_words.h"

#include <cmath>
#include <cstring>

#include "app/reader/line_walker.h"
#include "app/reader/paginator.h"
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

std::optional<uint64_t> reader_word_at_point(uint64_t page, float x, float y) {
  if (page >= layout.page_count()) return std::nullopt;
  const auto [first, last] = layout.page_lines(page);
  if (first >= last) return std::nullopt;
  const PageMetrics m = reader_page_metrics();
  const float s = m.size;
  size_t best = last;
  float best_distance = kLineReach * s;
  for (size_t i = first; i < last; ++i) {
    const float d = std::fabs(y - (layout.lines[i].y - kLineMidRise * s));
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  if (best == last) return std::nullopt;
  std::optional<uint64_t> hit;
  std::optional<uint64_t> last_word;
  walk_line(layout.lines[best], m, [&](const PlacedWord& p) {
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
  for (uint64_t i = from; i < to; ++i) {
    const BookWord& w = words[i];
    if (w.style == STYLE_PICTURE) continue;
    if (n > 0 && !w.join && !append(" ", 1)) break;
    if (!append(w.text, strlen(w.text))) break;
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
