// The vocabulary list, vocab.tsv in the state folder: one line per looked-up word, appended and
// never rewritten: the word, the time of the lookup (Unix seconds) and the file name of the book
// it was looked up in, separated by tabs.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t kVocabWordMax = 60;
constexpr size_t kVocabBookMax = 70;

std::string vocab_path();

// The line for a lookup, newline included. The book's file name is the part of `book_path` after
// its last "/"; tabs and line breaks in it become spaces so they cannot split the record.
std::string vocab_line(std::string_view word, int64_t unix_seconds, std::string_view book_path);

// Appends the line for `word` at the present time; false when the file cannot be written (the line
// is then held and written first by the next append, or at quit).
bool vocab_append(std::string_view word, std::string_view book_path);
