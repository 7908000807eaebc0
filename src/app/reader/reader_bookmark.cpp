#include "app/reader/reader_bookmark.h"

#include <algorithm>

#include "app/reader/paginator.h"
#include "app/ui/app_state.h"
#include "book/annotations.h"
#include "book/book_model.h"

std::optional<size_t> reader_page_bookmark() {
  const bool pdf = ql_is_pdf() != 0;
  const uint64_t pages =
      pdf ? static_cast<uint64_t>(std::max(ql_page_count(), 0)) : layout.page_count();
  if (pages == 0) return std::nullopt;
  const Bookmark* bms = qla_bms();
  for (size_t i = 0; i < qla_bm_count(); ++i) {
    const bool by_word = !pdf && bms[i].is_tok == 1;
    const uint64_t page =
        std::min(by_word ? layout_page_of_word(bms[i].pos) : bms[i].pos, pages - 1);
    if (page == app.reader.page) return i;
  }
  return std::nullopt;
}
