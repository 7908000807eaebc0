// Stand-in until dictionary lookups exist: no definitions can be read, so the page closes at once.
#include "app/reader/dictionary_page.h"

void dictionary_page(const char*, size_t) {}
