#include "book/pdf_text.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/utf8.h"

namespace {

constexpr uint32_t kSoftHyphen = 0x00AD;

bool is_separator(uint32_t c) {
  switch (c) {
    case 0x0000: case 0x0009: case 0x000A: case 0x000D: case 0x0020:
    case 0x00A0: case 0x2002: case 0x2003: case 0x2009: case 0xFFFE:
      return true;
    default:
      return false;
  }
}

size_t utf16_units(uint32_t c) { return c > 0xFFFF ? 2 : 1; }

// Lower case for the scripts a search is typed in: Latin, Latin-1, Greek and Cyrillic capitals.
uint32_t fold(uint32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9) ||
      (c >= 0x410 && c <= 0x42F))
    return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

bool has_box(const PageChar& ch) { return ch.c != '\n' && ch.x1 > ch.x0 && ch.y1 > ch.y0; }

float distance_to(const PageChar& ch, float x, float y) {
  const float dx = x < ch.x0 ? ch.x0 - x : x > ch.x1 ? x - ch.x1 : 0;
  const float dy = y < ch.y0 ? ch.y0 - y : y > ch.y1 ? y - ch.y1 : 0;
  return std::hypot(dx, dy);
}

std::vector<uint32_t> query_points(std::string_view query) {
  std::vector<uint32_t> out;
  const std::string text(query);  // NUL-terminated for the decoder
  const auto* s = reinterpret_cast<const unsigned char*>(text.c_str());
  size_t units = 0;
  while (*s) {
    const uint32_t c = utf8_next(s);
    if (units + utf16_units(c) > kQueryMaxUnits) break;
    units += utf16_units(c);
    out.push_back(c);
  }
  return out;
}

bool matches_at(const std::vector<PageChar>& chars, size_t at, const std::vector<uint32_t>& q) {
  if (q.size() > chars.size() - at) return false;
  for (size_t k = 0; k < q.size(); ++k) {
    const uint32_t c = chars[at + k].c;
    if (is_separator(q[k]) ? !is_separator(c) : fold(c) != fold(q[k])) return false;
  }
  return true;
}

}  // namespace

std::optional<size_t> char_at_point(const std::vector<PageChar>& chars, float x, float y, float tol_x,
                                    float tol_y) {
  std::optional<size_t> nearest;
  float best = std::numeric_limits<float>::infinity();
  for (size_t i = 0; i < chars.size(); ++i) {
    const PageChar& ch = chars[i];
    if (!has_box(ch)) continue;
    if (x >= ch.x0 && x <= ch.x1 && y >= ch.y0 && y <= ch.y1) return i;
    if (x < ch.x0 - tol_x || x > ch.x1 + tol_x || y < ch.y0 - tol_y || y > ch.y1 + tol_y) continue;
    const float d = distance_to(ch, x, y);
    if (d < best) {
      best = d;
      nearest = i;
    }
  }
  return nearest;
}

std::optional<PageWord> word_around(const std::vector<PageChar>& chars, size_t index) {
  if (index >= chars.size() || is_separator(chars[index].c)) return std::nullopt;
  size_t first = index, end = index + 1;
  while (first > 0 && !is_separator(chars[first - 1].c)) --first;
  while (end < chars.size() && !is_separator(chars[end].c)) ++end;
  PageWord w{{}, 0, 0, 0, 0};
  bool boxed = false;
  size_t units = 0;
  for (size_t i = first; i < end; ++i) {
    const PageChar& ch = chars[i];
    if (ch.c == kSoftHyphen) continue;
    if (units + utf16_units(ch.c) > kWordMaxUnits) break;
    units += utf16_units(ch.c);
    append_utf8(w.text, ch.c);
    if (!has_box(ch)) continue;
    if (!boxed) {
      w.x0 = ch.x0, w.y0 = ch.y0, w.x1 = ch.x1, w.y1 = ch.y1;
      boxed = true;
    } else {
      w.x0 = std::min(w.x0, ch.x0), w.y0 = std::min(w.y0, ch.y0);
      w.x1 = std::max(w.x1, ch.x1), w.y1 = std::max(w.y1, ch.y1);
    }
  }
  if (w.text.empty() || w.x1 <= w.x0) return std::nullopt;
  return w;
}

std::vector<size_t> find_on_page(const std::vector<PageChar>& chars, std::string_view query, size_t max) {
  std::vector<size_t> hits;
  const std::vector<uint32_t> q = query_points(query);
  if (q.empty()) return hits;
  for (size_t at = 0; at < chars.size() && hits.size() < max; ++at) {
    if (!matches_at(chars, at, q)) continue;
    // A phrase repeated close by (a heading and its running head, a list) is one place to go.
    if (hits.empty() || at >= hits.back() + kSearchHitSpacing) hits.push_back(at);
    at += q.size() - 1;
  }
  return hits;
}
