// The words of the reader page as the selection sees them: the word under a point, a word's box,
// the text of a word range and its quoted form.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// Where a word stands on a page: its pen x, the line's baseline and its drawn width.
struct WordBox {
  float x;
  float y;
  float width;
};
// None when the page does not exist, the word is not on it, or it is a picture.
std::optional<WordBox> reader_word_box(uint64_t page, uint64_t word);
// The word nearest a point: the nearest line within two text sizes of the point, then the first
// word whose right edge reaches x (the line's last word when the point lies right of it).
std::optional<uint64_t> reader_word_at_point(uint64_t page, float x, float y);

// Where in `word` a point lies: the byte offset, in the word's text without its soft hyphens, of
// the character under x on the line nearest y (the last character when x lies past the word).
// None when that line does not show the word.
std::optional<size_t> reader_byte_at_point(uint64_t page, uint64_t word, float x, float y);

// The words [from, to) joined by single spaces (none before a glued word), pictures left out, cut
// at `capacity` bytes; not NUL-terminated. Words past the end of the book are ignored.
std::string_view words_join_text(uint64_t from, uint64_t to, char* buffer, size_t capacity);
// `text` between double quotes, NUL-terminated in the buffer; the empty text when it does not fit.
std::string_view format_quoted(char* buffer, size_t capacity, std::string_view text);
