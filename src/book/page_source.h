// A document shown page by page (PDF through MuPDF, CBZ pictures), behind the few operations the
// page adapter needs. Page coordinates are in the document's own units (PDF points, picture
// pixels) with the origin at the top-left corner of the page as it is shown (rotation applied).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "book/pdf_adapter.h"

// One character of a page's text with its box; a line end is a '\n' without a box.
struct PageChar {
  uint32_t c;
  float x0, y0, x1, y1;
};

class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual int page_count() const = 0;
  // True when pages are pictures (CBZ): no text, no outline, no metadata.
  virtual bool is_picture_book() const = 0;
  // The page's size in page units; false when the page cannot be read.
  virtual bool page_size(int page, float& w, float& h) = 0;
  // Draws the page scaled by `scale` into a w x h grey area (row stride `stride`), white behind.
  virtual bool render(int page, float scale, uint8_t* out, int w, int h, int stride) = 0;
  // The page's characters in reading order with one '\n' per line end.
  virtual bool page_text(int page, std::vector<PageChar>& out) = 0;
  // "Title", "Author": UTF-8, "" when absent.
  virtual std::string meta(const char* key) = 0;
  // The outline depth-first, at most `max` entries of levels 0..8.
  virtual std::vector<PdfOutlineEntry> outline(size_t max) = 0;
};

enum class SourceError { none, open_failed, password, no_pages };

// A PDF whose "%PDF" marker starts at `offset` of the open descriptor (the source keeps its own
// duplicate of it); nothing with the reason when MuPDF cannot open it.
std::unique_ptr<PageSource> mupdf_source_open(int fd, int64_t offset, int64_t size, SourceError& error);
// A CBZ at a device path: its picture members in natural order; nothing when it holds none
// (no_pages) or cannot be read as a ZIP archive (open_failed).
std::unique_ptr<PageSource> cbz_source_open(const char* path, SourceError& error);

// Orders names as a reader of file names expects: digit runs by their value, letters without
// regard to case ("page 2" before "Page 10"); <0, 0, >0.
int natural_compare(std::string_view a, std::string_view b);

// Makes `source` the current document of the page adapter (the previous one is closed).
void qlpdf_adopt(std::unique_ptr<PageSource> source);
