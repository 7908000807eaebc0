// The bookmark shown on the current reader page, and where a bookmark leads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

struct Bookmark;

// Pages of the open book: the pagination's, or the PDF's or comic's own.
uint64_t reader_page_total();
// The page a bookmark stands on (its word's page for a word bookmark in a text book, else its
// page), clamped to the last of `pages`, which must not be 0.
uint64_t reader_bookmark_page(const Bookmark& bookmark, uint64_t pages);
// The first bookmark (table order) whose page, clamped to the last page, is the current page.
std::optional<size_t> reader_page_bookmark();
