// The HTML named character references, for the entity decoder.
#pragma once
#include <span>
#include <string_view>

struct HtmlEntity {
  std::string_view name;  // without "&" and ";"
  std::string_view text;  // UTF-8
};

// Every named reference, sorted by name (byte order).
std::span<const HtmlEntity> html_entities();
// The longest name, so the decoder knows how far to look for the ";".
constexpr size_t kHtmlEntityNameMax = 31;
