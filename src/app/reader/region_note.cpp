#include "app/reader/region_note.h"

#include <array>
#include <cstdio>

#include "base/number_parse.h"

RegionNote note_parse_region(const char* note, size_t length) {
  if (!note || length < 2) return {};
  const std::string_view text(note, length);
  const size_t bar = text.find('|');
  if (!text.starts_with("@r") || bar == std::string_view::npos) return {};
  std::string_view rest = text.substr(2, bar - 2);
  std::array<int32_t, 4> v{};
  for (size_t i = 0; i < v.size(); ++i) {
    const size_t comma = rest.find(',');
    const std::optional<int32_t> n = parse_signed(rest.substr(0, comma));
    if (!n || (comma == std::string_view::npos && i + 1 < v.size())) return {};
    v[i] = *n;
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return {v[0], v[1], v[2], v[3], true};
}

std::string note_format_region(int32_t x0, int32_t y0, int32_t x1, int32_t y1, std::string_view word) {
  char buf[kRegionNoteSize];
  const int n = snprintf(buf, sizeof buf, "@r%d,%d,%d,%d|%.*s", x0, y0, x1, y1, static_cast<int>(word.size()),
                         word.data());
  if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return {};
  return std::string(buf, static_cast<size_t>(n));
}
