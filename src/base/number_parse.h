// Decimal numbers as the command line and the interface state file give them: digits with an
// optional leading sign, "_" allowed between two digits ("1_000"). Nothing else may surround them.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

// Digits with an optional leading "+"; empty when the text does not parse or exceeds 32 bits.
std::optional<uint32_t> parse_unsigned(std::string_view text);
// Digits with an optional leading "+" or "-"; empty when the text does not parse or overflows.
std::optional<int32_t> parse_signed(std::string_view text);

// A page argument: page n is index n - 1; absent (NULL), 0 or unparsable is the first page.
uint32_t page_index_arg(const char* text);
