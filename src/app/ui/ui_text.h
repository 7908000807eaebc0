// Text handling shared by every screen: the interface face for a style, a line fitted into a width
// (shrunk, then cut at a character boundary with "..."), word wrapping, and the dot joiner.
#pragma once
#include <climits>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "display/fonts.h"

// At most `max` bytes of `text`, never ending inside a UTF-8 sequence.
std::string_view ui_utf8_prefix(std::string_view text, size_t max);

// The interface face a style argument draws in: TS_BOLD in the bold face, anything else regular.
TextStyle ui_face(TextStyle style);

// `text` shortened from its end, never inside a UTF-8 sequence, until it measures within `width`;
// when at least 4 bytes are left, the last character start at or before the third byte from the
// end is replaced by "..." (the result is not measured again). Unchanged when it already fits.
std::string ui_cut_to_width(std::string_view text, TextStyle face, float size, float width);

// Draws one line of NUL-terminated text at (x, y): shrunk by up to 10 sizes (never below 30) while
// wider than `width`, then cut as ui_cut_to_width does.
void ui_draw_text_fit(const char* text, TextStyle style, int size, int x, int y, int width);
// The same with the sizes tried given: the largest from `size` down to `min_size` that fits, else
// the text at `min_size` cut to the width.
void ui_draw_text_fit_range(const char* text, TextStyle style, int size, int min_size, int x, int y,
                            int width);

// Breaks `text` at spaces (0x20 only) into lines of at most `width` and hands each to `line` with
// its index; a word wider than the width gets a line of its own. A line never grows past
// kWrapLineMax bytes: the text ends there. The number of lines.
constexpr size_t kWrapLineMax = 498;
int ui_wrap(std::string_view text, TextStyle face, float size, float width,
            const std::function<void(std::string_view line, int index)>& line);

// A title in a box of its own: `text` wrapped as ui_wrap wraps it into at most `max_lines` lines
// (at least one), each within `width`. A line still wider (a word longer than the width) is cut as
// ui_cut_to_width cuts it; text left after the last line is joined to it and cut, so the last line
// ends in "...". No line runs past the box or into what lies under it.
std::vector<std::string> ui_wrap_cut(std::string_view text, TextStyle face, float size, float width,
                                     int max_lines);
// Draws ui_wrap_cut's lines in `face` with the first baseline at y; the baseline after the last.
int ui_draw_wrapped_cut(std::string_view text, TextStyle face, int size, int x, int y, int width,
                        int line_height, int max_lines);

// Draws ui_wrap's lines with the first baseline at y, leaving out every line whose baseline would
// lie below `max_baseline` (text that must not run into what is drawn under it); the baseline
// after the last line drawn (y itself when nothing was drawn).
int ui_draw_wrapped(const char* text, size_t length, TextStyle style, int size, int x, int y,
                    int width, int line_height, int max_baseline = INT_MAX);

// Draws one line of NUL-terminated text centred in the band from x, `width` wide, on baseline y;
// fitted into the band as ui_draw_text_fit fits it.
void ui_draw_centred(const char* text, TextStyle style, int size, int x, int width, int y);
// first + "  ·  " + second in `buffer`, NUL-terminated; the empty text when it does not fit.
std::string_view ui_join_dot(char* buffer, size_t capacity, std::string_view first,
                             std::string_view second);
