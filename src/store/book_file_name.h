// File names for downloaded books, made from their titles (at most 120 bytes of the title, never
// cut inside a character; "download" when nothing usable is left).
#pragma once
#include <string>
#include <string_view>

// A free title's name: control characters and / \ : * ? " < > | become spaces, then spaces and
// dots are trimmed from both ends.
std::string free_title_file_name(std::string_view title);
// A catalogue book's name: every ASCII byte but letters, digits, space and "-" becomes "_";
// characters of other scripts are kept.
std::string feed_book_file_name(std::string_view title);
