// The reader's search screen: words typed on the keyboard, the hits listed, the reader moved to
// the chosen one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Starts with `initial` in the keyboard (the selected words, or empty from the toolbar); on a
// chosen hit the current page has changed and the back mark is set.
void book_search(const char* initial, size_t initial_length);

// A text book's result row for a hit on `word`: "p." page, three spaces, then the four words
// before the hit, the hit and seven after between "..." and "...", cut to 159 bytes.
std::string book_search_row(uint64_t word);
