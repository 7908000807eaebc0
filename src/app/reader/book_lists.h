// The contents, notes and bookmarks lists of the open book.
#pragma once
#include <string>

struct Highlight;

// Opens the lists on tab `tab` (0 contents, 1 notes, 2 bookmarks); returns after back, a jump to a
// row, or the go-to-page keypad.
void book_lists_screen(int tab);

// A highlight's row: "Highlight" and its quoted text, or "Note: " and the note before it when it
// has one of its own (not "mark", not a PDF region record).
std::string book_lists_note_row(const Highlight& highlight);
