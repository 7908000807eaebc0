// Books of other kinds (MOBI family, FB2, plain text) converted once into a cached EPUB.
#pragma once
#include <cstddef>

// 1 when out (size bytes) names the converted EPUB to open; 0 when the file is not of a
// converted kind (out untouched); -1 on failure with ql_convert_error() set.
int ql_convert(const char* path, char* out, size_t size);
const char* ql_convert_error();
