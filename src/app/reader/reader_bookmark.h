// The bookmark shown on the current reader page.
#pragma once
#include <cstddef>
#include <optional>

// The first bookmark (table order) whose page, clamped to the last page, is the current page.
std::optional<size_t> reader_page_bookmark();
