// Break points for justified text: Liang's pattern method with two built-in pattern sets, US
// English and Finnish, chosen by the book's language.
#pragma once
#include <cstdint>

enum HyLanguage : int { HY_NONE = 0, HY_ENGLISH = 1, HY_FINNISH = 2 };

// Selects the pattern set for a language tag: one beginning (any case) with "fi" selects Finnish,
// "en" English; anything else, or NULL, switches hyphenation off. Returns the HyLanguage in force.
int ql_hy_lang(const char* lang);

// The break points of the first run of letters in the UTF-8 `word`: byte offsets into `word` of
// the letters a hyphen may go before, ascending, at most `max` of them. Returns their count.
int ql_hyphens(const char* word, uint32_t* out, int max);
