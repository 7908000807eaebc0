// Text fields of the tab-separated state files. In the progress index and the scan cache a
// backslash, tab, carriage return or line feed inside a field is written as a backslash escape
// ("\\", "\t", "\r", "\n"), so a title or file name holding one cannot split or merge records;
// reading turns the escapes back and keeps any other backslash as it stands. Files without
// escaping never get such a field: it is refused, or made plain where its exact bytes matter to
// nobody.
#pragma once
#include <string>
#include <string_view>

void tsv_escape_append(std::string& out, std::string_view field);
std::string tsv_unescape(std::string_view field);

// True when `field` can stand in a file without escaping: it holds no tab, carriage return or
// line feed, any of which would split or end its record.
bool tsv_field_plain(std::string_view field);
// `field` with every control character (tab and line breaks among them) made a space.
std::string tsv_field_spaced(std::string_view field);
