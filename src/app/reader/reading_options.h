// The reader's "Aa" panel: text size, font, line spacing, margins and theme over the bottom of the
// page, each change laid out again at once on the same words.
#pragma once
#include <cstdint>

// Opens the panel; returns when the user taps above it (the caller redraws).
void reading_options_screen();

// A "-" (dir -1) or "+" (dir 1) on a value with its step and range. A value outside the range
// moves only when the step brings it toward the range: a "-" never makes it larger, a "+" never
// smaller.
int32_t reading_option_step(int32_t value, int dir, int32_t step, int32_t lo, int32_t hi);
// The text-size level shown for a size: (size - 32) / 6 + 1, never below 1.
int32_t text_size_level(int32_t font_px);
