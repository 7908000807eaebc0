// The reader's toolbar: a band over the top of the page with the status bar, six actions, the
// progress line with the "back to" mark, and a slider to jump anywhere in the book.
#pragma once
#include <cstdint>
#include <string>

// Runs the toolbar until a tap below it or an action that leaves it.
void reader_toolbar();
// Draws the toolbar over the current page (without presenting).
void reader_toolbar_draw();

constexpr int kToolbarHeight = 306;

// "P%   ·   Page N of T" with "   ·   back to B" when the back mark is set; empty when it does
// not fit its 96-byte buffer, or with no page at all.
std::string toolbar_progress_text(uint64_t page, uint64_t total, bool back_valid, uint64_t back_page);
// The slider's page for a release x on a screen w wide.
uint64_t toolbar_slider_page(int x, int w, uint64_t total);
// The knob's offset from the slider's left end.
int toolbar_knob_offset(uint64_t page, int w, uint64_t total);

enum class ToolbarTap { Leave, QuickSettings, Column, ProgressLine, Slider };
ToolbarTap toolbar_hit(int y);
// The action column under x, clamped to 0..5.
int toolbar_column(int x, int w);
