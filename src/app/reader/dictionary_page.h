// The dictionary page for a selected word.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Where the lookup leaves its definitions for the page.
constexpr char kDictOutPath[] = "/tmp/ql-dict.txt";
constexpr size_t kDictWordMax = 79;
constexpr size_t kDictShownMax = 32768;

// The word to look up in a selected text: the first run of ASCII letters, apostrophes, hyphens
// and bytes of 0x80 and above, in lower case, at most 79 bytes (never ending inside a
// character), with typographic quotation marks and guillemets taken off both ends.
std::string dictionary_word(std::string_view text);

// Looks the word in `text` up, records it in the vocabulary list and shows its definitions;
// returns when the page is closed, or at once when no definitions could be read. A word that
// dashes join ("Peculiar—that") and that has no entry is looked up part by part: the part under
// `finger` (a byte offset into `text`, when the selection came from a press there) first, then
// each other part in turn; the first part with an entry is shown and recorded.
void dictionary_page(const char* text, size_t length, size_t finger = std::string_view::npos);
