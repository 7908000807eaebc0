// Collections: named groups of books, listed by the library's Show "Collection" filter.
#pragma once
#include <cstddef>
#include <cstdint>

// True when the collection holds the book of this file name (cut to 199 bytes).
bool collection_has_book(uint64_t collection, const char* name, size_t length);
// Reads collections.tsv at start.
void collections_load();
