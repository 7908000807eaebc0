// The open book's table of contents, from its navigation document (EPUB 3 nav or NCX), the PDF
// outline or the headings, and the phrase search over the word stream.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr size_t kMaxTocEntries = 512;
constexpr size_t kTocTitleMax = 255;
constexpr size_t kMaxSearchTerms = 16;

struct TocEntry {
  char title[256];  // UTF-8, at most 255 bytes
  uint64_t pos;     // word index (EPUB) or page (PDF)
  uint32_t level;   // 0 for the top level
};

void ql_toc_clear();
// Appends an entry (ignored when the table is full); a null title is empty.
void ql_toc_add(const char* title, uint64_t pos, uint32_t level);
size_t ql_toc_count();
const TocEntry* ql_toc();
// Builds the table from the book's navigation document; the number of entries added (0, without
// touching the table, for a PDF, a book without navigation document or without spine).
size_t ql_toc_from_nav();
// The table becomes the open PDF's outline, copied in when the table is next read: the PDF must
// stay open until then (a later clear or build forgets it).
void ql_toc_from_pdf();
void ql_toc_from_words();
// The word index a navigation href leads to, or -1.
int64_t toc_resolve(std::string_view href);

// Word indices where the query's terms (split at spaces and tabs, at most 16) match consecutive
// words, pictures passed over; each term is found inside its word ignoring ASCII case. At most
// max hits, in increasing order.
size_t ql_search(const char* query, uint64_t* hits, size_t max);
