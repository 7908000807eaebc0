// Where a line may end inside a word: after a dash the word holds, at the soft hyphens the book
// put there, then at the points of the language's hyphenation patterns. Words that read as web addresses or domain names get no
// pattern points, since a hyphen in them would read as part of the address.
#pragma once
#include <cstdint>
#include <string_view>

// A word's pattern break points (ascending byte offsets into it); see ql_hyphens.
using HyphenPoints = int (*)(const char* word, uint32_t* out, int max);

// Whether a word holds "://", "www." or a "." between two letters.
bool looks_like_address(std::string_view word);

// The break points of the NUL-terminated `word` in the order a line tries them: its soft hyphens
// from the last to the first, then the pattern points of `hyphens` (null: none) from the last to
// the first. Byte offsets into `word`; a soft hyphen's point is its own offset, so the piece before
// it ends there and the rest begins with the (invisible) soft hyphen. At most `max` points.
int word_break_points(const char* word, HyphenPoints hyphens, uint32_t* out, int max);

// The points just after each em dash, en dash and hyphen between two letters of the NUL-terminated
// `word`, from the last to the first: a line may end there showing the dash and no added hyphen
// ("observer—" / "excellent", "Illiers-" / "Combray"). A dash that opens or ends the word, or is
// followed by another dash, gives none. At most `max` points.
int dash_break_points(const char* word, uint32_t* out, int max);
