// The library menu: sort, Show filter, view, collections and authors, opened from the library's
// sort bar.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

constexpr size_t kMaxMenuAuthors = 300;

// Runs the menu until a row has done its work or back; after a chosen row the library goes to its
// first page, ui.txt is saved and the view rebuilt.
void library_menu();
// The Authors list: the distinct non-empty authors of the entries (each cut to 127 bytes), the
// first 300 met in entry order, sorted A to Z with letters folded.
std::vector<std::string> library_menu_authors();
