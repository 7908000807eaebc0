// Leaves the reader as a fresh start finds it, whatever book (text or PDF) a test opened.
#pragma once
#include "app/reader/paginator.h"
#include "app/ui/app_state.h"
#include "book/book_model.h"
#include "book/pdf_adapter.h"

inline void close_test_book() {
  app.reader.book_open = false;
  app.reader.back_valid = false;
  app.view = AppView::Library;
  ql_book_replace(BookModel{});
  qlpdf_close();
  layout_free();
  layout = PageTable{};
}
