// Books of other kinds (MOBI family, FB2, plain text) converted once into a cached EPUB.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// Converted books live in this folder (it does not follow QUILLO_STATE).
constexpr const char* kConvertedFolder = "/mnt/us/ql/state/conv";

// What a book file of a kind the engine reads is told when it cannot be read as that kind.
constexpr const char* kDamagedBook = "This book file is damaged";

enum class ConvKind { none = 0, text = 1, fb2 = 2, mobi = 3 };

// By the file-kind table: ".txt", ".fb2", and ".mobi", ".azw3", ".azw", ".prc" for the MOBI
// family (case-insensitive).
ConvKind kind_of(std::string_view path);

// The cache key of a source file: its path as given, size and modification time (seconds).
uint64_t ConvertedBookKey(std::string_view path, uint64_t size, int64_t mtime);

// 1 when out (size bytes) names the converted EPUB to open; 0 when the file is not of a
// converted kind (out untouched); -1 on failure with ql_convert_error() set.
int ql_convert(const char* path, char* out, size_t size);
const char* ql_convert_error();

// Title and author of an FB2 or MOBI-family book without converting it (both emptied first).
// 1 when something was read.
int ql_convert_meta(const char* path, char* title, size_t tsize, char* author, size_t asize);
