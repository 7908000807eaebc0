// The reader's search screen: words typed on the keyboard, the hits listed, the reader moved to
// the chosen one.
#pragma once
#include <cstddef>

// Starts with `initial` in the keyboard (the selected words, or empty from the toolbar); on a
// chosen hit the current page has changed and the back mark is set.
void book_search(const char* initial, size_t initial_length);
