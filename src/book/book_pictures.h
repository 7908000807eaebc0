// The open EPUB book's pictures (picture words of the word stream), read from its kept ZIP:
// sizes for pagination, scaled bitmaps for drawing, each with a small cache.
#pragma once
#include <cstdint>

// The picture word's pixel size; 1 when known. Answers are remembered for the open book.
int ql_img_dims(uint64_t word, int* w, int* h);
// Draws the picture word fitted into (x, y, w, h), clipped to the frame; the mask is left alone.
// 1 drawn (or nothing visible), 0 failed.
int ql_img_draw(uint64_t word, int x, int y, int w, int h);
// Reopens the kept ZIP from a new path (the storage came back after USB mode); with NULL, or when
// reopening fails, the book's pictures are unavailable until the next book open.
void ql_zip_remap(const char* path);
// Forgets the sizes and bitmaps of the previous book (called when another book becomes current).
void ql_img_cache_clear();
