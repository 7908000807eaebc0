// The one list screen: a header with a title, a page of tappable rows and a pager. Settings-like
// pages show each "label: value" row with its value and a chevron on the right.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

constexpr int kListMenuRowHeight = 140;

// Shows the rows (at most the first 127 bytes of the title) until one is tapped: its index in
// `rows`, or none for back.
std::optional<size_t> ui_list_menu(const char* title, size_t title_length,
                                   std::span<const std::string_view> rows);

// How a row is shown: the label on the left, and on value-and-chevron pages the text on the right.
struct ListRowText {
  std::string label;
  std::string right;  // empty when the page shows no values
};
// `title` chooses the kind of page; the right-hand text is already shortened to its room.
ListRowText list_row_text(std::string_view title, std::string_view row);
// True for the titles whose rows show a value and a chevron.
bool list_shows_values(std::string_view title);
