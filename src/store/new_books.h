// The new-books list: file names of books recently bought or downloaded, newest first, kept in
// new-books.txt. The library shows a listed book as new until it is opened or marked read.
#pragma once
#include <array>
#include <cstddef>
#include <string_view>

constexpr size_t kNewBooksMax = 24;
constexpr size_t kNewBookNameMax = 159;  // longer names are skipped
constexpr char kNewBooksPath[] = "/mnt/us/ql/state/new-books.txt";

struct NewBooks {
  std::array<std::array<char, kNewBookNameMax + 1>, kNewBooksMax> names{};
  size_t count = 0;
  bool loaded = false;
};
// Only the core thread touches it (see app_assert_core).
extern NewBooks new_books;

// Fills the list from new-books.txt on the first call of the run; a missing file leaves it empty.
void new_books_load();
// Row i of the list.
std::string_view new_book_name(size_t i);
// Puts the file name of `path` (the text after its last "/") first, dropping the oldest of a full
// list, and rewrites new-books.txt (a failed write keeps the old file; the list in memory still
// changes). A name already listed stays where it is as well. Too long a name is not added.
void new_books_add(std::string_view path);
