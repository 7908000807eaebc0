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

// Where the five buttons (Open, Mark, Add to collection, Remove from collection, Delete from
// device) lie on a screen of width x height: one column from y 700 when the screen is tall enough,
// else (landscape) two to a row, the rows made as high as the room below y 700 allows.
struct DetailsButtons {
  int columns = 1;
  int top = 0;
  int pitch_y = 0;
  int height = 0;
  int width = 0;
  int pitch_x = 0;
  int left(int i) const;    // button i's frame
  int top_of(int i) const;
};
DetailsButtons book_details_buttons(int width, int height);
// The button (0..4) under (x, y), or -1.
int book_details_button_at(const DetailsButtons& buttons, int x, int y);

// The file line: the type (the text after the last "."; "?" without one), then the size in MiB
// with one decimal and " MB".
std::string book_details_file_line(std::string_view path, uint64_t bytes);

// Moves the book at `path` into the trash folder under its own name, or "n name" for the first
// free n of 1..999. False, with nothing moved, when no name is free, a path does not fit the file
// calls, or the move fails.
bool book_move_to_trash(std::string_view path);
