// Text fields of the library's tab-separated state files. A backslash, tab, carriage return or
// line feed inside a field is written as a backslash escape ("\\", "\t", "\r", "\n"), so a title
// or file name holding one cannot split or merge records. Reading turns the escapes back; any
// other backslash is kept as it stands.
#pragma once
#include <string>
#include <string_view>

void tsv_escape_append(std::string& out, std::string_view field);
std::string tsv_unescape(std::string_view field);
