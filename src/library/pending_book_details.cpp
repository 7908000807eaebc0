// Stand-in until the book details screen exists: a long press opens nothing.
#include "library/book_details.h"

void book_details_screen(uint64_t) {}
