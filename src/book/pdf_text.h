// Words and phrases in a page's characters (PageChar, one '\n' per line end): the word under a
// point and the phrase search of the page adapter.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "book/page_source.h"

constexpr size_t kWordMaxUnits = 198;    // UTF-16 units of a word under a point
constexpr size_t kQueryMaxUnits = 256;   // UTF-16 units of a search query
constexpr size_t kSearchHitSpacing = 80;  // characters between two hits kept on one page

struct PageWord {
  std::string text;  // UTF-8, soft hyphens left out
  float x0, y0, x1, y1;  // the union of its characters' boxes, page units
};

// The character under (x, y): one whose box holds the point, else the nearest whose box grown by
// the tolerances does; nothing when none is that close.
std::optional<size_t> char_at_point(const std::vector<PageChar>& chars, float x, float y, float tol_x,
                                    float tol_y);
// The word holding character `index`; nothing when it is a separator or the word is empty.
std::optional<PageWord> word_around(const std::vector<PageChar>& chars, size_t index);
// Start indices of the query (UTF-8; letters matched without case, a space matching any
// separator) on the page, a hit kept only 80 or more characters after the last kept one; at most
// max.
std::vector<size_t> find_on_page(const std::vector<PageChar>& chars, std::string_view query, size_t max);
