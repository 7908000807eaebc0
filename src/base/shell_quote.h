// User text made safe to pass as one word on a device script's shell command line.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Appends `text` to `out` as one single-quoted shell word, each "'" written as the four bytes
// '\''. The quoted text (opening quote and escapes, not the closing quote) stays within
// `limit` bytes: the rest of the text is dropped before a whole character, so a cut never splits
// an escape or a UTF-8 sequence. A NUL byte ends the text (nothing after it could reach the shell).
void shell_quote_append(std::string& out, std::string_view text, size_t limit);
// True when shell_quote_append would keep the whole of `text` within `limit`.
bool shell_quote_fits(std::string_view text, size_t limit);

// `text` quoted into `buffer`, its quoted text cut within capacity - 6 bytes as above. The view's
// bytes are followed by a NUL; a buffer of fewer than 3 bytes gives an empty view.
std::string_view shell_quote(char* buffer, size_t capacity, const char* text, size_t length);
