// Opening a book by path into the reader view.
#pragma once
#include <cstddef>
#include <cstdint>

// Loads the book (or reuses the one still loaded when nothing changed), its notes, contents,
// saved position and layout, and switches the main loop to the reader. On failure a message was
// shown and app.reader.book_open is false.
void book_open(const char* path, size_t length);

// The identity of a book file: modification time + size * 1000003 (a missing file gives a fixed
// value).
uint64_t book_file_identity(const char* path);

// Gives every bookmark of a text book that still holds a page number the first word of that page,
// and saves the notes when one changed.
void book_bookmarks_attach_tokens();

// Advances the layout generation: pages rendered off screen before it are stale.
void layout_generation_advance();
