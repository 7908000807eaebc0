// The greeting after a purchase: a "Thank you" box over the library, from which the bought book
// opens at its cover or stays in the library, as the "After buying a book" choice says.
#pragma once
#include <string_view>

// The greeting's button row.
struct ThanksButtons {
  int y;
  int height;
};

// Draws the library, the box and its buttons for the book `title` (does not present).
ThanksButtons purchase_thanks_screen(std::string_view title);
// The title as the greeting shows it: a short extension (a last "." within its last five bytes,
// not at its start) is cut off.
std::string_view purchase_shown_title(std::string_view title);
// Marks the purchase as shown, makes the library the view, greets, and opens the book at `path`
// (at its cover for a book that has one) unless the user keeps it in the library.
void store_show_purchased_book(std::string_view path, std::string_view title);
