// Adding books from outside (dropped on the window, picked in the file chooser, or the test
// driver's drop): copies into the library's documents folder. Runs on the host's main thread.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// Copies each book file (by its extension, is_accepted_by_drop) or whole folder into the documents folder of the data
// folder and posts "books added" when at least one arrived. Returns the number copied.
int add_books(const std::vector<std::string>& paths);

// The copying itself, into `documents` (a host path); posts nothing. A quit waits for it and stops
// it when the grace runs out (plat_finish_copies); after that nothing is copied.
int copy_books_into(const std::vector<std::string>& paths, const std::string& documents);
