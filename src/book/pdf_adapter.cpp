// The page adapter: which documents open, how a page is fitted into the screen and kept, and how
// screen points meet page points. Parsing and drawing are the page source's (pdf_mupdf.cpp,
// cbz_pages.cpp).
#include "book/pdf_adapter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_kinds.h"
#include "base/page_memory.h"
#include "base/paths.h"
#include "base/ql_error.h"
#include "base/utf8.h"
#include "book/book_model.h"
#include "book/convert/convert.h"
#include "book/epub.h"
#include "book/page_source.h"
#include "book/pdf_text.h"
#include "display/framebuffer.h"

namespace {

constexpr const char* kCannotOpen = "Cannot open the file";
constexpr const char* kPassword = "Password-protected PDFs are not supported";
constexpr const char* kUnreadable = "This PDF could not be opened";
constexpr const char* kNoPages = "PDF has no pages";
constexpr const char* kNoReadablePage = "This comic has no readable pages";
constexpr const char* kOutOfRange = "Page out of range";
constexpr const char* kNotDrawn = "This page could not be drawn";

constexpr size_t kHeadBytes = 1024;  // where a "%PDF" marker may start
constexpr size_t kErrorMax = 511;
constexpr size_t kConvertedPathSize = 4200;
// The page area: 32 px at each side, the header band above and the footer band below.
constexpr int kSideMargins = 64;
constexpr int kBands = 180;
constexpr int kPageTop = 96;
// Word hit tolerances in page units: across, and along (plus 14 screen pixels).
constexpr float kHitAcross = 20;
constexpr float kHitAlong = 6;
constexpr float kHitAlongScreen = 14;
constexpr size_t kCacheSlots = 3;

struct Fit {
  float scale;
  int w, h;
};

struct CacheSlot {
  int page = -1;
  int screen_w = 0, screen_h = 0;
  int x = 0, y = 0, w = 0, h = 0;
  uint32_t stamp = 0;
  float scale = 0, dx = 0, dy = 0;
  // The page's rectangle as drawn, w x h (the screen around it is white): in the slot's share of
  // the cache's memory.
  uint8_t* pixels = nullptr;
};

struct Document {
  std::unique_ptr<PageSource> source;
  std::string error, title, author;
  // Walked when first asked for: the walk resolves every entry's page, which costs a book with a
  // long outline more than drawing its first page, and most openings never show the contents.
  std::optional<std::vector<PdfOutlineEntry>> toc;
  std::array<CacheSlot, kCacheSlots> cache;
  // One mapping for the three slots, each a share as large as the screen's page area: together
  // they take two huge pages, where a mapping each took three.
  PageMemory cache_memory;
  int cache_w = 0, cache_h = 0;  // the screen the shares were sized for
  size_t share = 0;
  uint32_t stamp = 0;
  float scale = 1, dx = 0, dy = 0;
  int last_x = 0, last_y = 0, last_w = 0, last_h = 0;
  int text_page = -1;  // the page whose characters `text` holds
  std::vector<PageChar> text;
};

// Never destroyed: at exit, freeing the open document object by object would only lengthen the
// quit.
Document& cur = *new Document;
bool keep_pages = true;  // whether drawn pages are kept for drawing again

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

std::string cut_utf8(std::string s, size_t max) {
  s.resize(utf8_prefix_length(s, max));
  return s;
}

void set_error(std::string& error, const char* text) { error = cut_utf8(text, kErrorMax); }

// What a file that opened as neither a PDF nor a comic is told, by the kind its name gives: a PDF or
// a comic is damaged, or a comic without pictures; any other kind does not open.
const char* refusal(const FileKindRow* named, SourceError why) {
  if (!named || (named->kind != FileKind::pdf && named->kind != FileKind::cbz)) {
    return kKindDoesNotOpen;
  }
  const bool comic_without_pictures = named->kind == FileKind::cbz && why == SourceError::no_pages;
  return comic_without_pictures ? kNoReadablePage : kDamagedBook;
}

// Opens a PDF (a "%PDF" marker in the first 1024 bytes) or a CBZ (a ZIP with pictures).
std::unique_ptr<PageSource> doc_open(const char* path, std::string& error) {
  FdCloser file{qlp_open(path ? path : "", O_RDONLY | O_CLOEXEC)};
  struct stat st;
  if (file.fd < 0 || fstat(file.fd, &st) != 0) {
    set_error(error, kCannotOpen);
    return nullptr;
  }
  std::array<char, kHeadBytes> head{};
  const ssize_t got = pread(file.fd, head.data(), head.size(), 0);
  const std::string_view seen(head.data(), got > 0 ? static_cast<size_t>(got) : 0);
  const size_t marker = seen.find("%PDF");
  std::unique_ptr<PageSource> source;
  if (marker != std::string_view::npos) {
    SourceError why = SourceError::none;
    source = mupdf_source_open(file.fd, static_cast<int64_t>(marker), static_cast<int64_t>(st.st_size), why);
    if (!source) {
      set_error(error, why == SourceError::password   ? kPassword
                       : why == SourceError::no_pages ? kNoPages
                                                      : kUnreadable);
      return nullptr;
    }
    return source;
  }
  // A comic begins as a ZIP archive does; one named so is read as an archive whatever its first
  // bytes, so that an empty or damaged comic is told as such.
  const FileKindRow* named = file_kind_row(path ? path : "");
  const bool named_comic = named && named->kind == FileKind::cbz;
  SourceError why = SourceError::open_failed;
  if (named_comic || seen.starts_with(std::string_view("PK\x03\x04", 4))) {
    source = cbz_source_open(path, why);
  }
  if (!source) {
    set_error(error, refusal(named, why));
    return nullptr;
  }
  // A comic is shown only when the decoder reads the header of at least one of its pictures.
  for (int page = 0; page < source->page_count(); ++page) {
    float w = 0, h = 0;
    if (source->page_size(page, w, h)) return source;
  }
  set_error(error, kNoReadablePage);
  return nullptr;
}

// The page scaled to fit maxw x maxh (enlarged or reduced), its size in whole pixels.
std::optional<Fit> page_fit(PageSource& source, int page, int maxw, int maxh) {
  float pw = 0, ph = 0;
  if (maxw < 1 || maxh < 1 || !source.page_size(page, pw, ph)) return std::nullopt;
  if (!std::isfinite(pw) || !std::isfinite(ph) || pw <= 0 || ph <= 0) return std::nullopt;
  const float scale = std::min(static_cast<float>(maxw) / pw, static_cast<float>(maxh) / ph);
  if (!std::isfinite(scale) || scale <= 0) return std::nullopt;
  auto whole = [](double v, int max) {
    return static_cast<int>(std::clamp(std::trunc(v + 0.5), 1.0, double(max)));
  };
  return Fit{scale, whole(double(pw) * scale, maxw), whole(double(ph) * scale, maxh)};
}

void restore_from(const CacheSlot& s) {
  cur.scale = s.scale;
  cur.dx = s.dx;
  cur.dy = s.dy;
  cur.last_x = s.x, cur.last_y = s.y, cur.last_w = s.w, cur.last_h = s.h;
}

// Whitens the screen around the page's rectangle at (x, y), w x h.
void whiten_around(uint8_t* out, int W, int H, int x, int y, int w, int h) {
  const size_t width = static_cast<size_t>(W), left = static_cast<size_t>(x);
  std::fill(out, out + static_cast<size_t>(y) * width + left, uint8_t{255});
  for (int row = y; row < y + h; ++row) {
    uint8_t* line = out + static_cast<size_t>(row) * width;
    std::fill(line + left + static_cast<size_t>(w), line + width + left, uint8_t{255});
  }
  std::fill(out + static_cast<size_t>(y + h) * width + left, out + width * static_cast<size_t>(H),
            uint8_t{255});
}

// Where row `row` of a kept page's rectangle starts on its screen.
size_t rect_row(const CacheSlot& s, int row) {
  return static_cast<size_t>(s.y + row) * static_cast<size_t>(s.screen_w) + static_cast<size_t>(s.x);
}

// Keeps the drawn page in an empty slot, else in the least recently shown one. Pages kept for
// another screen size (before a rotation) give way. Without memory for it the page is simply not
// kept.
void cache_store(CacheSlot drawn, const uint8_t* screen) {
  if (!cur.cache_memory || drawn.screen_w != cur.cache_w || drawn.screen_h != cur.cache_h) {
    cur.cache = {};
    cur.cache_memory = PageMemory();
    // A fitted page is never larger than the page area.
    cur.share = static_cast<size_t>(drawn.screen_w - kSideMargins) * static_cast<size_t>(drawn.screen_h - kBands);
    cur.cache_memory = PageMemory(cur.share * kCacheSlots);
    if (!cur.cache_memory) return;
    cur.cache_w = drawn.screen_w, cur.cache_h = drawn.screen_h;
  }
  size_t slot = 0;
  for (size_t i = 0; i < kCacheSlots; ++i) {
    if (cur.cache[i].page < 0) {
      slot = i;
      break;
    }
    if (cur.cache[i].stamp < cur.cache[slot].stamp) slot = i;
  }
  drawn.pixels = cur.cache_memory.data() + slot * cur.share;
  const size_t row_bytes = static_cast<size_t>(drawn.w);
  for (int row = 0; row < drawn.h; ++row) {
    memcpy(drawn.pixels + static_cast<size_t>(row) * row_bytes, screen + rect_row(drawn, row), row_bytes);
  }
  drawn.stamp = ++cur.stamp;
  cur.cache[slot] = drawn;
}

const std::vector<PageChar>* page_chars(int page) {
  if (cur.text_page != page) {
    cur.text_page = -1;
    if (!cur.source->page_text(page, cur.text)) return nullptr;
    cur.text_page = page;
  }
  return &cur.text;
}

const std::vector<PdfOutlineEntry>& outline() {
  if (!cur.toc) cur.toc = cur.source ? cur.source->outline(kMaxPdfOutline) : std::vector<PdfOutlineEntry>{};
  return *cur.toc;
}

void copy_out(const std::string& text, char* out, size_t size) {
  if (!out || size == 0) return;
  const size_t n = utf8_prefix_length(text, size - 1);
  memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

void qlpdf_adopt(std::unique_ptr<PageSource> source) {
  qlpdf_close();
  if (!source) return;
  cur.title = cut_utf8(source->meta("Title"), kTitleMax);
  cur.author = cut_utf8(source->meta("Author"), kAuthorMax);
  cur.source = std::move(source);
}

int qlpdf_open(const char* path) {
  qlpdf_close();
  std::string error;
  std::unique_ptr<PageSource> source = doc_open(path, error);
  if (!source) {
    cur.error = std::move(error);
    return 0;
  }
  qlpdf_adopt(std::move(source));
  return 1;
}

void qlpdf_close() { cur = Document{}; }

void qlpdf_keep_pages(bool keep) { keep_pages = keep; }

const char* qlpdf_error() { return cur.error.c_str(); }
const char* qlpdf_title() { return cur.title.c_str(); }
const char* qlpdf_author() { return cur.author.c_str(); }
int qlpdf_count() { return cur.source ? cur.source->page_count() : 0; }
int qlpdf_toc_count() { return static_cast<int>(outline().size()); }
const PdfOutlineEntry* qlpdf_toc() { return outline().data(); }

int qlpdf_render(int page, uint8_t* out, int W, int H) {
  if (!out || W < 1 || H < 1) {
    set_error(cur.error, kNotDrawn);
    return 0;
  }
  for (CacheSlot& s : cur.cache) {
    if (s.page == page && s.screen_w == W && s.screen_h == H) {
      whiten_around(out, W, H, s.x, s.y, s.w, s.h);
      const size_t row_bytes = static_cast<size_t>(s.w);
      for (int row = 0; row < s.h; ++row) {
        memcpy(out + rect_row(s, row), s.pixels + static_cast<size_t>(row) * row_bytes, row_bytes);
      }
      restore_from(s);
      s.stamp = ++cur.stamp;
      return 1;
    }
  }
  const size_t bytes = static_cast<size_t>(W) * static_cast<size_t>(H);
  const bool in_range = cur.source && page >= 0 && page < cur.source->page_count();
  const std::optional<Fit> fit =
      in_range ? page_fit(*cur.source, page, W - kSideMargins, H - kBands) : std::nullopt;
  if (!fit) {
    std::fill(out, out + bytes, uint8_t{255});
    set_error(cur.error, in_range ? kNotDrawn : kOutOfRange);
    return 0;
  }
  // The fitted page lies between rows 96 and H - 84, clear of the header and footer bands; the
  // source paints the page area, so only the screen around it is whitened here.
  const int x = (W - fit->w) / 2, y = (H - kBands - fit->h) / 2 + kPageTop;
  whiten_around(out, W, H, x, y, fit->w, fit->h);
  const size_t at = static_cast<size_t>(y) * static_cast<size_t>(W) + static_cast<size_t>(x);
  if (!cur.source->render(page, fit->scale, out + at, fit->w, fit->h, W)) {
    std::fill(out, out + bytes, uint8_t{255});
    set_error(cur.error, kNotDrawn);
    return 0;
  }
  CacheSlot drawn;
  drawn.page = page;
  drawn.screen_w = W, drawn.screen_h = H;
  drawn.x = x, drawn.y = y, drawn.w = fit->w, drawn.h = fit->h;
  drawn.scale = fit->scale;
  drawn.dx = static_cast<float>(x), drawn.dy = static_cast<float>(y);
  restore_from(drawn);
  if (keep_pages) cache_store(drawn, out);
  return 1;
}

int qlpdf_page_images(int* x, int* y, int* w, int* h) {
  if (x) *x = cur.last_x;
  if (y) *y = cur.last_y;
  if (w) *w = cur.last_w;
  if (h) *h = cur.last_h;
  return cur.source && cur.source->is_picture_book() ? 1 : 0;
}

void qlpdf_screen_to_page(int x, int y, int* px, int* py) {
  if (px) *px = static_cast<int>((static_cast<float>(x) - cur.dx) / cur.scale * 10);
  if (py) *py = static_cast<int>((static_cast<float>(y) - cur.dy) / cur.scale * 10);
}

void qlpdf_page_to_screen(int px, int py, int* x, int* y) {
  if (x) *x = static_cast<int>(static_cast<float>(px) / 10 * cur.scale + cur.dx);
  if (y) *y = static_cast<int>(static_cast<float>(py) / 10 * cur.scale + cur.dy);
}

int qlpdf_word_at(int page, int x, int y, int* x0, int* y0, int* x1, int* y1, char* out, size_t size) {
  if (!out || size < 4) return 0;
  out[0] = '\0';
  if (!cur.source || cur.source->is_picture_book() || page < 0 || page >= cur.source->page_count() ||
      !(cur.scale > 0))
    return 0;
  const std::vector<PageChar>* chars = page_chars(page);
  if (!chars) return 0;
  const float ox = std::trunc(cur.dx), oy = std::trunc(cur.dy);
  const float px = (static_cast<float>(x) - ox) / cur.scale, py = (static_cast<float>(y) - oy) / cur.scale;
  const std::optional<size_t> at =
      char_at_point(*chars, px, py, kHitAcross, kHitAlong + kHitAlongScreen / cur.scale);
  if (!at) return 0;
  const std::optional<PageWord> word = word_around(*chars, *at);
  if (!word) return 0;
  copy_out(word->text, out, size);
  if (x0) *x0 = static_cast<int>(word->x0 * cur.scale + ox);
  if (y0) *y0 = static_cast<int>(word->y0 * cur.scale + oy);
  if (x1) *x1 = static_cast<int>(word->x1 * cur.scale + ox);
  if (y1) *y1 = static_cast<int>(word->y1 * cur.scale + oy);
  return 1;
}

int qlpdf_search(const char* query, int from, int to, int* pages_out, int* chars_out, int max) {
  if (!query || !*query || max < 1 || !pages_out || !chars_out || !cur.source ||
      cur.source->is_picture_book())
    return 0;
  int n = 0;
  std::vector<PageChar> chars;
  const int end = std::min(to, cur.source->page_count());
  for (int page = std::max(from, 0); page < end && n < max; ++page) {
    if (!cur.source->page_text(page, chars)) continue;
    for (size_t at : find_on_page(chars, query, static_cast<size_t>(max - n))) {
      pages_out[n] = page;
      chars_out[n] = static_cast<int>(at);
      ++n;
    }
  }
  return n;
}

int qlpdf_meta(const char* path, char* title, size_t tsize, char* author, size_t asize) {
  copy_out("", title, tsize);
  copy_out("", author, asize);
  std::string error;
  const std::unique_ptr<PageSource> doc = doc_open(path, error);
  if (!doc) return 0;
  copy_out(doc->meta("Title"), title, tsize);
  copy_out(doc->meta("Author"), author, asize);
  return 1;
}

int qlpdf_cover(const char* path, uint8_t* out, int w, int h) {
  if (!out || w < 1 || h < 1) return 0;
  std::array<char, kConvertedPathSize> converted{};
  if (ql_convert(path, converted.data(), converted.size()) > 0)
    return ql_epub_cover(converted.data(), out, w, h);
  std::fill(out, out + static_cast<size_t>(w) * static_cast<size_t>(h), uint8_t{255});
  std::string error;
  const std::unique_ptr<PageSource> doc = doc_open(path, error);
  if (!doc) return 0;
  const std::optional<Fit> fit = page_fit(*doc, 0, w, h);
  if (!fit) return 0;
  const size_t at =
      static_cast<size_t>((h - fit->h) / 2) * static_cast<size_t>(w) + static_cast<size_t>((w - fit->w) / 2);
  if (!doc->render(0, fit->scale, out + at, fit->w, fit->h, w)) {
    std::fill(out, out + static_cast<size_t>(w) * static_cast<size_t>(h), uint8_t{255});
    return 0;
  }
  return 1;
}

int ql_pdf_open(const char* path) {
  if (!qlpdf_open(path)) {
    ql_fail("%s", qlpdf_error());
    return 0;
  }
  BookModel& book = ql_book();
  book.pdf_mode = 1;
  book.title = qlpdf_title();  // the opener falls back on the file name
  book.author = qlpdf_author();
  return 1;
}

int ql_pdf_draw(uint64_t page) {
  ql_will_draw();
  Framebuffer& fb = ql_fb();
  // The render paints every pixel of the screen (white around the page), so only the mask is reset.
  ql_mark(0, 0, fb.width, fb.height, MASK_PAPER);
  if (page >= (uint64_t{1} << 31)) {
    set_error(cur.error, kOutOfRange);
  } else if (qlpdf_render(static_cast<int>(page), fb.pixels, fb.width, fb.height)) {
    int x = 0, y = 0, w = 0, h = 0;
    if (qlpdf_page_images(&x, &y, &w, &h)) ql_mark(x, y, w, h, MASK_PICTURE);
    return 1;
  }
  ql_fail("%s", qlpdf_error());
  return 0;
}
