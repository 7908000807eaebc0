// Text in other encodings for fixtures, and a strict UTF-8 reader to check decoder output with.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The code points of strictly valid UTF-8 (shortest forms, no surrogates, at most U+10FFFF), or
// nothing when any byte breaks those rules.
std::optional<std::vector<uint32_t>> strict_code_points(std::string_view utf8);
// UTF-8 text as UTF-16, optionally behind a byte-order mark. The text must be valid UTF-8.
std::string utf16_of(std::string_view utf8, bool big_endian, bool with_mark);
