// Stand-in until the search screen exists: nothing is searched and the page stays.
#include "app/reader/book_search.h"

void book_search(const char*, size_t) {}
