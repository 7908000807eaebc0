// The open book: one flat stream of words that the rest of the program paginates, draws, searches
// and annotates, with the book's metadata, internal links, spine and anchors. Exactly one book is
// open at a time; the model is used on the core thread only.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "book/zip_reader.h"

enum BookStyle : uint8_t { STYLE_PLAIN = 0, STYLE_ITALIC = 1, STYLE_BOLD = 2, STYLE_HEADING = 3, STYLE_PICTURE = 4 };
// BRK_LINE: a line break inside a block (a verse line, a line of a play): a new line with no gap.
enum BookBreak : uint8_t { BRK_NONE = 0, BRK_BLOCK = 1, BRK_DOCUMENT = 2, BRK_LINE = 3 };

constexpr char kPictureMark = '\x01';  // a picture word's text: this byte, then its member path
constexpr uint64_t kMaxWords = 2000000;
constexpr uint64_t kMaxLinks = 1000000;
constexpr uint64_t kMaxAnchors = 200000;
constexpr size_t kAnchorIdMax = 199;
constexpr size_t kTitleMax = 511;
constexpr size_t kAuthorMax = 255;
constexpr size_t kLanguageMax = 15;

struct BookWord {
  const char* text;  // NUL-terminated UTF-8 without white space, kept in the book's text pool
  uint8_t style;     // BookStyle
  uint8_t brk;       // BookBreak before this word
  uint8_t join;      // 1: follows the previous word with no space (always 0 when brk != 0)
  // 1: follows the previous word after no-break spaces only: a space is drawn, but no line ends
  // before it (always 0 when brk or join is not 0).
  uint8_t tie;
  uint32_t link;     // 1-based id of the internal link the word lies in, 0 for none
  uint8_t sup;       // 1 inside a superscript
  uint32_t num;      // ordered-list number, on the first word of the item only
};

// Words that readers before this one kept and this one leaves out (the text of hidden elements
// and page-break markers), one run for each place: `count` words that stood just before the word
// now numbered `at`, and were numbered from `old_at` then. Saved word positions written in that
// earlier numbering are moved through these runs onto the words kept now.
struct LeftOutRun {
  uint64_t at;
  uint64_t old_at;
  uint64_t count;
};

struct BookLink {
  std::string href;  // as written, fragment included
  uint32_t spine;    // the document that holds the link
};

struct SpineEntry {
  std::string path;   // normalised member path
  uint64_t first_word;
};

struct BookAnchor {
  uint32_t spine;
  std::string id;     // at most 199 bytes
  uint64_t word;      // the next word added when the element started
};

// Word texts packed into large blocks that never move, so a word's text pointer stays valid for
// the life of the book (and across moves of the model).
class TextPool {
 public:
  TextPool() = default;
  TextPool(TextPool&& other) noexcept;
  TextPool& operator=(TextPool&& other) noexcept;
  // A NUL-terminated copy of text; throws std::bad_alloc when memory runs out.
  const char* copy(std::string_view text);

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0, cap_ = 0;
};

// The whole book. A new one is built beside the open one and becomes current only when the open
// succeeds, so a failed open never leaves half a book behind.
class BookModel {
 public:
  BookModel();
  BookModel(BookModel&&) noexcept;
  BookModel& operator=(BookModel&&) noexcept;
  ~BookModel();

  // Appends a word (a copy of text) with the parser's current join, tie, link, superscript and list
  // number; the list number is used up. False at the word limit ("Book exceeds 2M words",
  // reported) or when memory runs out (no text).
  bool addword(std::string_view text, uint8_t style, uint8_t brk);
  // The new link's id, or 0 at the link limit or when memory runs out.
  uint32_t link_add(std::string_view href);
  // Records an element id at the current word (nothing past the anchor limit).
  void anchor_add(std::string_view id);
  // Records `count` words left out before the next word added. False when memory runs out.
  bool left_out_add(uint64_t count);

  // A word index saved in the earlier numbering (see LeftOutRun), as numbered now: a word that
  // is left out now becomes the next kept word. A book with nothing left out, or a PDF or comic
  // (numbered by pages), keeps every index.
  uint64_t word_from_old(uint64_t old_word) const;
  // A saved word range [start, end) likewise; a range whose every word is left out now keeps the
  // nearest kept word, so a highlight is never lost.
  void range_from_old(uint64_t& start, uint64_t& end) const;

  std::vector<BookWord> words;
  std::string title, author, book_lang;
  std::vector<BookLink> links;
  std::vector<SpineEntry> spine;
  std::vector<BookAnchor> anchors;
  std::vector<LeftOutRun> left_out;  // in order of `at`
  uint32_t pdf_mode = 0;
  std::string toc_xml, toc_base;
  uint32_t toc_is_nav = 0;
  ZipArchive g_zip;
  uint32_t g_zip_kept = 0;

  // Parser state of the XHTML reader, reset at the start of every spine document. tie_words: no
  // white space but no-break spaces has come since the last word.
  uint32_t join_words = 0, tie_words = 0, g_link = 0, g_sup = 0, g_num = 0;

 private:
  TextPool pool_;
};

// The current book (empty when none is open).
BookModel& ql_book();
// Makes `next` the current book; the previous one is released.
void ql_book_replace(BookModel&& next);

// What a file of no kind the engine reads as a book is told (a recording, a feed, a dictionary's
// index).
constexpr const char* kKindDoesNotOpen =
    "This kind of file does not open in this version of Corvell Nalo";

// Opens a book file (device path): EPUB into words, PDF and CBZ through the page adapter, other
// kinds through the converter. 1 on success; 0 with ql_error() set and logged. A failed EPUB open
// leaves the previous book current and untouched.
int ql_open(const char* path);
// The word index an internal link leads to, or -1.
int64_t ql_link_token(uint32_t id);
// The re-guess of the language from the words ("en", "fi", the declared one, or "").
void guess_language(BookModel& book);

const char* ql_language();
const char* ql_title();
const char* ql_author();
uint64_t ql_word_count();
const BookWord* ql_words();
uint32_t ql_is_pdf();
int ql_page_count();
// The display size in pixels, for readers that fit pages and pictures to it.
int ql_width();
int ql_height();
