// The one door through which every book is opened.
#include <array>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "base/file_kinds.h"
#include "base/paths.h"
#include "base/ql_error.h"
#include "base/utf8.h"
#include "book/book_model.h"
#include "book/convert/convert.h"
#include "book/epub.h"
#include "book/pdf_adapter.h"
#include "display/framebuffer.h"

namespace {
constexpr size_t kConvertedPathSize = 4200;
constexpr const char* kNoText = "No readable XHTML text (DRM, malformed or unsupported EPUB)";

// The EPUB into `next`; false with ql_error() set.
bool read_text_book(BookModel& next, const char* path) {
  if (!epub_read(next, path)) {
    if (ql_error()[0] == 0) ql_fail("%s", kNoText);
    return false;
  }
  if (next.words.empty()) {
    ql_fail("%s", kNoText);
    return false;
  }
  return true;
}

// Whether the file is of no kind read as a book: named as no EPUB, and beginning otherwise than a
// ZIP archive does (a recording, a feed, a dictionary's index). Read as an EPUB it would only be
// called an archive the reader does not support. A file that cannot be read goes on to the reader,
// which says why.
bool is_no_book(const char* path) {
  const FileKindRow* row = file_kind_row(path);
  if (row && row->kind == FileKind::epub) return false;
  const int fd = qlp_open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[4];
  const ssize_t got = pread(fd, head, sizeof head, 0);
  close(fd);
  return got >= 0 && (got < 4 || memcmp(head, "PK\x03\x04", 4) != 0);
}

// A book without a title of its own is called by its file name.
std::string book_title_from_path(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return std::string(name.substr(0, utf8_prefix_length(name, kTitleMax)));
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

  // The adapter opens only PDF and CBZ, and refuses the other kinds it is handed.
  if (is_for_page_adapter(working)) {
    // The adapter holds one document: the previous book goes first. Closing the frame closes it
    // too.
    qlpdf_close();
    ql_set_close_hook(qlpdf_close);
    ql_book_replace(BookModel{});
    if (!ql_pdf_open(working)) return 0;
    if (ql_book().title.empty()) ql_book().title = book_title_from_path(path);
    return 1;
  }

  if (conv == 0 && is_no_book(working)) {
    ql_fail("%s", kKindDoesNotOpen);
    return 0;
  }
  // The EPUB is read into a model of its own; the open book changes only when it succeeds.
  BookModel next;
  bool read = read_text_book(next, working);
  if (!read && conv > 0) {
    // A converted file that does not open (damaged on the card, or written by a faulty build)
    // is made again once instead of being served broken for as long as the source is unchanged.
    qlp_remove(working);
    conv = ql_convert(path, converted.data(), converted.size());
    if (conv < 0) {
      ql_fail("%s", ql_convert_error());
      return 0;
    }
    ql_clear_error();
    next = BookModel{};
    read = read_text_book(next, working);
  }
  if (!read) return 0;
  if (next.title.empty()) next.title = book_title_from_path(path);
  guess_language(next);
  qlpdf_close();
  ql_book_replace(std::move(next));
  ql_clear_error();
  return 1;
}
