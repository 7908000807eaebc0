// A book's cover in a box: the picture when there is one, else the title on white, always framed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// Draws the card for the book at `path` (scan kind `kind`) into the frame. While
// app.covers.deferred is set a cover that is not cached yet is queued as a cover job and the
// placeholder is drawn.
void ui_draw_cover_card(const char* path, size_t path_length, uint32_t kind, const char* title,
                        size_t title_length, int x, int y, int w, int h);

// The placeholder's text: the title without a file extension (a "." among its last five bytes
// that is not its first byte ends it).
std::string_view cover_title_text(std::string_view title);
// The placeholder's font size for a box `w` wide.
int cover_title_size(int w);
