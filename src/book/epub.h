// Reading EPUB books: the container and package documents, metadata, the spine's XHTML documents
// into the word stream, and the cover picture.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "book/book_model.h"
#include "book/zip_reader.h"

struct OpfDocument {
  std::string text;  // the package document
  std::string path;  // its member path
};

struct BookMeta {
  std::string title;     // decoded, trimmed, at most 511 bytes
  std::string author;    // the first creator, decoded, trimmed, at most 255 bytes
  std::string language;  // as declared, trimmed, at most 15 bytes
};

// The package document named by the container, or nothing with ql_error() set and logged
// ("No EPUB container.xml", "No OPF rootfile", "Missing OPF").
std::optional<OpfDocument> getopf(const ZipArchive& archive);
// Title, first creator and language of a package document.
BookMeta metadata(const std::string& opf);
// Reads the EPUB at a device path into an empty model. False on failure; ql_error() is set when
// the failure has a text of its own.
bool epub_read(BookModel& book, const char* path);
// Adds the words, links, anchors and pictures of one XHTML document (the spine entry is already
// in place). False only when the word limit is reached or memory runs out.
bool xhtml_words(BookModel& book, const std::string& document, std::string_view doc_path);
// Finds the book's cover picture and decodes it into the caller's w x h grey buffer. 1/0.
int ql_epub_cover(const char* path, uint8_t* out, int w, int h);
