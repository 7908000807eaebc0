// The book details screen of one library entry: what the book is, how far it is read, and the
// actions on it (open, mark read, collections, move to the trash).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr char kTrashFolder[] = "/mnt/us/ql/trash";

// Shows the details of entry `entry` of the last scan until the user leaves.
void book_details_screen(uint64_t entry);

// The file line: the type (the text after the last "."; "?" without one), then the size in MiB
// with one decimal and " MB".
std::string book_details_file_line(std::string_view path, uint64_t bytes);

// Moves the book at `path` into the trash folder under its own name, or "n name" for the first
// free n of 1..999. False, with nothing moved, when no name is free, a path does not fit the file
// calls, or the move fails.
bool book_move_to_trash(std::string_view path);
