// Messages: the message box (toast) over the bottom of the screen, the toast that stays until a
// touch or a time-out, and the plain information page.
#pragma once
#include <cstddef>
#include <span>
#include <string_view>

// Draws the message box and presents; returns at once (the next drawing replaces it).
void ui_toast(const char* text, size_t length);
// The box's top edge for a message (one line in a 120-pixel box, or wrapped lines growing up).
int ui_toast_top(const char* text, size_t length);

// Shows the toast and waits up to `timeout_ms` for a touch, as ui_wait_event_timeout waits (a quit
// saves everything and ends the process). The wait's code (-1 when the time ran out).
int ui_toast_wait(const char* text, size_t length, int timeout_ms);

// The header with the title (at most 127 bytes), the lines as wrapped paragraphs, then one
// common wait; any event closes it.
void ui_info_page(const char* title, size_t title_length, std::span<const std::string_view> lines);

// The reader's message when a book has no room for another highlight or note.
void reader_show_highlight_limit();
