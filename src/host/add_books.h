// Adding books from outside (dropped on the window, picked in the file chooser, or the test
// driver's drop): copies into the library's documents folder. Runs on the host's main thread.
#pragma once
#include <array>
#include <string>
#include <string_view>
#include <vector>

// The file kinds the library takes, by extension (compared without case).
inline constexpr std::array<std::string_view, 17> kBookExtensions = {
    "epub", "pdf", "cbz", "mobi", "azw3", "fb2", "txt", "mp3", "m4b",
    "m4a",  "ogg", "oga", "opus", "flac", "wav", "aac", "zip"};

// Copies each book file (by its extension) or whole folder into the documents folder of the data
// folder and posts "books added" when at least one arrived. Returns the number copied.
int add_books(const std::vector<std::string>& paths);

// The copying itself, into `documents` (a host path); posts nothing.
int copy_books_into(const std::vector<std::string>& paths, const std::string& documents);

// True for a name ending in one of kBookExtensions.
bool is_book_file_name(std::string_view name);
