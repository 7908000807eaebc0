// PDF documents and CBZ comics shown page by page. The book engine opens them through
// ql_pdf_open and reads their page count and outline.
#pragma once
#include <cstdint>

struct PdfOutlineEntry {
  char title[256];  // UTF-8
  int32_t page;     // 0-based
  int32_t level;    // 0..8
};

// Opens the document as the current one: 1, or 0 with ql_error() set to the adapter's text.
int ql_pdf_open(const char* path);
void qlpdf_close();
const char* qlpdf_error();
int qlpdf_count();
int qlpdf_toc_count();
const PdfOutlineEntry* qlpdf_toc();
