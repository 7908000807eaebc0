// The open book's pictures (picture words) as the reader lays them out and draws them. The image
// layer measures them from their headers and keeps scaled copies.
#pragma once
#include <cstdint>

// 1 and the picture's pixel size when it is known.
int ql_img_dims(uint64_t word, int* w, int* h);
// Draws the picture fitted into (x, y, w, h); 1 drawn, 0 failed.
int ql_img_draw(uint64_t word, int x, int y, int w, int h);
