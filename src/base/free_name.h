// Names for new entries in a folder that must not replace anything there: "Name.ext", then
// "Name (2).ext" ... "Name (999).ext", each kept within the file system's name limit.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// The longest name a folder entry may have on the file systems the storage is shared with.
constexpr size_t kNameMax = 255;

// `name` split before the extension of a file ("Book.epub": "Book", ".epub"); a folder, a name
// without a dot, or one whose only dot leads it keeps its whole name as the stem.
std::pair<std::string_view, std::string_view> split_extension(std::string_view name, bool folder);

// `stem` + `ext` cut to at most `max_bytes` before the extension, never inside a character;
// empty when the extension alone does not leave room for one byte of the stem.
std::string fit_name(std::string_view stem, std::string_view ext, size_t max_bytes);

// The first of "stem ext", "stem (2)ext" ... "stem (999)ext" for which `taken` says no, each fitted
// to `max_bytes`; empty when all are taken or none fits. A stem that ends in a number of that
// form ("Name (2)") is tried as it is, then numbered on from it ("Name (3)" ...).
std::string free_name(std::string_view stem, std::string_view ext, size_t max_bytes,
                      const std::function<bool(const std::string&)>& taken);
