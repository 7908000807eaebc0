#include "library/new_books.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/paths.h"
#include "base/text_lines.h"

NewBooks new_books;

void new_books_load() {
  if (new_books.loaded) return;
  new_books.loaded = true;
  new_books.count = 0;
  FilePtr f(qlp_fopen(kNewBooksPath, "rb"));
  if (!f) return;
  char* buf = nullptr;
  size_t cap = 0;
  ssize_t len;
  while (new_books.count < kNewBooksMax && (len = getline(&buf, &cap, f.get())) >= 0) {
    const size_t n = trimmed_length(std::string_view(buf, static_cast<size_t>(len)));
    if (n == 0 || n > kNewBookNameMax) continue;
    auto& row = new_books.names[new_books.count++];
    memcpy(row.data(), buf, n);
    row[n] = '\0';
  }
  free(buf);
}

std::string_view new_book_name(size_t i) {
  return i < new_books.count ? std::string_view(new_books.names[i].data()) : std::string_view();
}
