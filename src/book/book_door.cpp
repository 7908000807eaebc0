// The one door through which every book is opened.
#include <array>
#include <cstring>
#include <strings.h>

#include "base/ql_error.h"
#include "book/book_model.h"
#include "book/convert.h"
#include "book/epub.h"
#include "book/pdf_adapter.h"
#include "display/framebuffer.h"

namespace {
constexpr size_t kConvertedPathSize = 4200;
constexpr const char* kNoText = "No readable XHTML text (DRM, malformed or unsupported EPUB)";

// Kinds that go to the page adapter (which opens only PDF and CBZ, and refuses the rest).
bool is_page_kind(std::string_view path) {
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string_view ext = path.substr(dot);
  for (const char* k : {".pdf", ".mobi", ".azw3", ".azw", ".cbz", ".txt", ".fb2", ".xps"}) {
    if (ext.size() >= strlen(k) && strncasecmp(ext.data(), k, strlen(k)) == 0) return true;
  }
  return false;
}

std::string_view file_name(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
}  // namespace

int ql_open(const char* path) {
  ql_clear_error();
  if (!path) path = "";
  std::array<char, kConvertedPathSize> converted{};
  int conv = ql_convert(path, converted.data(), converted.size());
  if (conv < 0) {
    ql_fail("%s", ql_convert_error());
    return 0;
  }
  const char* working = conv > 0 ? converted.data() : path;

  if (is_page_kind(working)) {
    // The adapter holds one document: the previous book goes first. Closing the frame closes it
    // too.
    qlpdf_close();
    ql_set_close_hook(qlpdf_close);
    ql_book_replace(BookModel{});
    return ql_pdf_open(working);
  }

  // The EPUB is read into a model of its own; the open book changes only when it succeeds.
  BookModel next;
  if (!epub_read(next, working)) {
    if (ql_error()[0] == 0) ql_fail("%s", kNoText);
    return 0;
  }
  if (next.words.empty()) {
    ql_fail("%s", kNoText);
    return 0;
  }
  if (next.title.empty()) next.title = std::string(file_name(path).substr(0, kTitleMax));
  guess_language(next);
  qlpdf_close();
  ql_book_replace(std::move(next));
  ql_clear_error();
  return 1;
}
