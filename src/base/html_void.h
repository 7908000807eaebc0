// HTML elements that never have an end tag, however the book writes their names.
#pragma once
#include <array>
#include <string_view>

#include "base/utf8.h"

inline bool is_html_void(std::string_view name) {
  static constexpr std::array<std::string_view, 14> kVoid = {
      "br",   "img",  "image", "hr",  "meta",   "link",  "input",
      "col",  "area", "base",  "wbr", "source", "embed", "track"};
  for (std::string_view v : kVoid) {
    if (name.size() != v.size()) continue;
    size_t i = 0;
    while (i < v.size() && ascii_lower(name[i]) == v[i]) ++i;
    if (i == v.size()) return true;
  }
  return false;
}
