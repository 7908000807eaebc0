#include "app/reader/reader_bookmark.h"

#include <algorithm>

#include "app/reader/paginator.h"
#include "app/ui/app_state.h"
#include "book/annotations.h"
#include "book/book_model.h"

uint64_t reader_page_total() {
  if (ql_is_pdf()) return static_cast<uint64_t>(std::max(ql_page_count(), 0));
  return layout.page_count();
}

uint64_t reader_bookmark_page(const Bookmark& bookmark, uint64_t pages) {
  const bool by_word = !ql_is_pdf() && bookmark.is_tok == 1;
  return std::min(by_word ? layout_page_of_word(bookmark.pos) : bookmark.pos, pages - 1);
}

std::optional<size_t> reader_page_bookmark() {
  const uint64_t pages = reader_page_total();
  if (pages == 0) return std::nullopt;
  const Bookmark* bms = qla_bms();
  for (size_t i = 0; i < qla_bm_count(); ++i) {
    if (reader_bookmark_page(bms[i], pages) == app.reader.page) return i;
  }
  return std::nullopt;
}
