// Stand-in until the contents, notes and bookmarks lists exist: the page keypad is the one way
// to jump, so "Go To" opens it.
#include "app/reader/book_lists.h"

#include "app/reader/ui_goto_page.h"

void book_lists_screen(int) { goto_page_dialog(); }
