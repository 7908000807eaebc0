// The numeric keypad of "Go to page".
#pragma once
#include <cstdint>
#include <string>

// Asks for a page number and moves the open book there (setting the back mark first); back, Go
// with nothing typed, or a book without pages leaves the page as it was. The caller redraws.
void goto_page_dialog();

// The keypad's cells on a screen of w x h: three columns, four rows from y 480 (rows 216 high, or
// lower when the screen is too short to hold them, as in landscape).
struct KeypadGeometry {
  int key_width;
  int top;
  int row_height;
};
KeypadGeometry keypad_geometry(int w, int h);
// The label under (x, y): "0".."9", "Del", "Go"; empty outside the keypad.
std::string keypad_key_at(const KeypadGeometry& g, int x, int y);

constexpr size_t kKeypadDigitsMax = 6;
// Applies a key to the typed digits; true for Go.
bool keypad_press(std::string& digits, const std::string& key);
// The page index Go moves to for the typed digits and a book of `pages` pages; none when there is
// nothing to go to (no digits, no pages).
struct KeypadTarget {
  bool move;
  uint64_t page;
};
KeypadTarget keypad_target(const std::string& digits, uint64_t pages);
