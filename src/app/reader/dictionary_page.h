// The dictionary page for a selected word.
#pragma once
#include <cstddef>

// Shows the definitions of the word in `text`; returns when the page is closed, or at once when
// no definitions could be read.
void dictionary_page(const char* text, size_t length);
