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

// The text glued to a word on either side: the word before it and the word after it when no
// space lies between (empty where a space, a no-break space or the text's start or end is).
struct GluedText {
  std::string_view before;
  std::string_view after;
};

// The points just after each dash of the NUL-terminated `word`, from the last to the first: a
// line may end there showing the dash and no added hyphen ("observer—" / "excellent",
// "Illiers-" / "Combray"). An em or en dash, or two hyphens or more ("word--word"), needs text
// before it and after it; a single hyphen needs a letter on both sides. A run of dashes breaks
// after its last. No point is given where the next character closes something (a closing
// quotation mark or bracket, ",", ".", ";", ":", "!", "?", an ellipsis). The glued text counts as
// the word's own, so a dash at the word's end gives the point at its length when the next word
// is glued to it ("road—" before "one" in italics). At most `max` points.
int dash_break_points(const char* word, uint32_t* out, int max, GluedText glued = {});
