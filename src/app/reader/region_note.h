// The note a PDF highlight stores: "@r" x0 "," y0 "," x1 "," y1 "|" word, the selected word's box
// in page coordinates (tenths of a page unit).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct RegionNote {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool valid = false;
};

constexpr size_t kRegionNoteSize = 320;  // bytes with the terminating NUL

// The four numbers of a region note; all zero and not valid when the note is not one.
RegionNote note_parse_region(const char* note, size_t length);
// The note for a box and its word; "" when it would not fit in 320 bytes.
std::string note_format_region(int32_t x0, int32_t y0, int32_t x1, int32_t y1, std::string_view word);
