// Opening test books built in the test.
#pragma once
#include <string>
#include <vector>

#include "book/book_model.h"
#include "support/epub_builder.h"
#include "support/temp_dir.h"

// Writes the book into its own temporary folder and opens it; the folder lives as long as this.
struct OpenedBook {
  TempDir dir;
  std::string path;
  int ok = 0;
  explicit OpenedBook(const EpubPlan& plan, const std::string& name = "book.epub")
      : path(dir / name) {
    write_file(path, build_epub(plan));
    ok = ql_open(path.c_str());
  }
  OpenedBook(const std::string& bytes, const std::string& name) : path(dir / name) {
    write_file(path, bytes);
    ok = ql_open(path.c_str());
  }
};

inline std::vector<std::string> word_texts() {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < ql_word_count(); i++) out.emplace_back(ql_words()[i].text);
  return out;
}

// n words of running English-looking text.
inline std::string english_text(size_t n) {
  static const char* const kWords[] = {"the", "cat", "and", "the", "dog", "was", "in", "the", "house", "of",
                                       "a",   "man", "that", "is", "not", "here", "with", "it", "for", "now"};
  std::string s;
  for (size_t i = 0; i < n; i++) s += std::string(kWords[i % 20]) + " ";
  return s;
}
