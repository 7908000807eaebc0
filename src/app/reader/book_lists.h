// The contents, notes and bookmarks lists of the open book.
#pragma once

// Opens the lists on tab `tab` (0 contents, 1 notes, 2 bookmarks); returns after back, a jump to a
// row, or the go-to-page keypad.
void book_lists_screen(int tab);
