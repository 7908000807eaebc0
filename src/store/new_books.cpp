#include "store/new_books.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/atomic_file.h"
#include "base/paths.h"
#include "base/text_lines.h"

NewBooks new_books;

namespace {
void save_list() {
  std::string text;
  for (size_t i = 0; i < new_books.count; ++i) {
    text += new_book_name(i);
    text += '\n';
  }
  file_write_atomic(kNewBooksPath, text.data(), text.size());
}
}  // namespace

void new_books_load() {
  if (new_books.loaded) return;
  new_books.loaded = true;
  new_books.count = 0;
  text_each_line(kNewBooksPath, [](std::string_view line) {
    const size_t n = trimmed_length(line);
    if (n == 0 || n > kNewBookNameMax) return true;
    auto& row = new_books.names[new_books.count++];
    memcpy(row.data(), line.data(), n);
    row[n] = '\0';
    return new_books.count < kNewBooksMax;
  });
}

std::string_view new_book_name(size_t i) {
  return i < new_books.count ? std::string_view(new_books.names[i].data()) : std::string_view();
}

void new_books_add(std::string_view path) {
  new_books_load();
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.size() > kNewBookNameMax || name.find('\n') != std::string_view::npos) return;
  const size_t kept = std::min(new_books.count, kNewBooksMax - 1);
  for (size_t i = kept; i > 0; --i) new_books.names[i] = new_books.names[i - 1];
  auto& first = new_books.names[0];
  memcpy(first.data(), name.data(), name.size());
  first[name.size()] = '\0';
  new_books.count = kept + 1;
  save_list();
}
