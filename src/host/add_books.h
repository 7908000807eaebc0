// Adding books from outside (dropped on the window, picked in the file chooser, or the test
// driver's drop): copies into the library's documents folder on a thread of its own, so the thread
// that hands the books over (the window's) goes on drawing and taking input, and a quit is never
// held up by a copy from slow storage.
#pragma once
#include <string>
#include <string_view>
#include <vector>

// Hands each book file (by its extension, is_accepted_by_drop) or whole folder over for copying
// into the documents folder of the data folder; "books added" is posted once a batch has been
// copied, when at least one of it arrived. Returns at once, with the number of items taken (0 also
// when a quit has already told what did not arrive: the log then names them).
int add_books(const std::vector<std::string>& paths);
// Waits until every book handed over so far has arrived or failed; false after the time limit.
bool wait_added_books(int timeout_ms);

// The copying itself, into `documents` (a host path), on the calling thread; posts nothing. A quit
// waits for it and stops it when the grace runs out (plat_finish_copies); after that nothing is
// copied. Returns the number copied.
int copy_books_into(const std::vector<std::string>& paths, const std::string& documents);
