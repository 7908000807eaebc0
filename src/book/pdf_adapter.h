// PDF documents and CBZ comics shown page by page: one current document with its title, author,
// page count and outline; pages rendered fitted into the screen (three pages kept); points mapped
// between screen and page; the word under a point and text search (PDF only); library metadata
// and covers. Core thread only.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t kMaxPdfOutline = 256;

struct PdfOutlineEntry {
  char title[256];  // UTF-8
  int32_t page;     // 0-based
  int32_t level;    // 0..8
};

// Opens the document as the current book: 1, or 0 with ql_error() set to the adapter's text.
int ql_pdf_open(const char* path);
// Clears the screen and draws the page fitted into it; 0 with ql_error() set when it cannot.
int ql_pdf_draw(uint64_t page);

// Opens the document as the adapter's current one (the previous one is closed). 1/0.
int qlpdf_open(const char* path);
void qlpdf_close();
const char* qlpdf_error();
const char* qlpdf_title();
const char* qlpdf_author();
int qlpdf_count();
int qlpdf_toc_count();
const PdfOutlineEntry* qlpdf_toc();

// Draws one page fitted into a W x H grey screen (bands kept white for header and footer). 1/0.
int qlpdf_render(int page, uint8_t* out, int W, int H);
// Whether the last pages drawn are kept, so that turning back to one copies it instead of drawing
// it again (on by default; a run that draws one page and ends turns it off).
void qlpdf_keep_pages(bool keep);
// The placement of the last page drawn; 1 when the document's pages are pictures (CBZ).
int qlpdf_page_images(int* x, int* y, int* w, int* h);
// Screen points to page points in tenths of a page unit, and back, for the last page drawn.
void qlpdf_screen_to_page(int x, int y, int* px, int* py);
void qlpdf_page_to_screen(int px, int py, int* x, int* y);
// The word under a screen point of the last page drawn, its screen box and its text (UTF-8,
// size >= 4). 1/0.
int qlpdf_word_at(int page, int x, int y, int* x0, int* y0, int* x1, int* y1, char* out, size_t size);
// Hits of the query on pages [from, to): page and character index of each, at most max.
int qlpdf_search(const char* query, int from, int to, int* pages_out, int* chars_out, int max);

// Title and author of a document file (empty for a CBZ or when it names none). 1 when it opens.
int qlpdf_meta(const char* path, char* title, size_t tsize, char* author, size_t asize);
// The first page fitted and centred into a w x h grey buffer (a converted book: its EPUB cover). 1/0.
int qlpdf_cover(const char* path, uint8_t* out, int w, int h);
