// Per-book state files, named by a hash of the book's path: the reading position (".pos") and the
// highlights and bookmarks (".notes"; the older ".ann" file is still read). Files live in the
// state folder ($QUILLO_STATE, else /mnt/us/ql/state) and are replaced atomically.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t kMaxHighlights = 512;
constexpr size_t kMaxBookmarks = 128;
constexpr size_t kNoteMax = 511;
constexpr size_t kBookmarkLabelMax = 127;
constexpr int kDefaultFontSize = 40;
constexpr int kMinFontSize = 24;
constexpr int kMaxFontSize = 64;

// The word numbering of the files written here. Numbering 1 counted the words of hidden elements
// and page-break markers, which the book's text now leaves out. Files in numbering 2 say so with
// "WN 2": the notes file in a line of its own, the position file after its two numbers, where
// readers of the plain formats pass over it. A file without it is in numbering 1: the word
// indices it holds are moved onto the words kept now when it is loaded for the open book.
constexpr unsigned kWordNumbering = 2;
// Whether a notes line, or the rest of the position line, marks numbering 2 or a later one.
bool marks_word_numbering(const char* text);

class BookModel;

struct Highlight {
  uint64_t start;   // first word (EPUB) or the PDF's own position
  uint64_t end;     // greater than start when made here
  char note[512];   // may be empty; "@r" begins a PDF region record
  char style;       // colour letter, 'y'
  int64_t created;  // Unix seconds
};

struct Bookmark {
  uint64_t pos;     // page, or word index when is_tok
  char label[128];
  int64_t created;
  uint32_t is_tok;
};

// BookPathKey: FNV-1a 64 of the path's bytes exactly as given.
uint64_t book_path_hash(std::string_view path);
// The key as 16 lower-case hexadecimal digits.
std::string book_path_key(std::string_view path);
// The state folder ($QUILLO_STATE, else "/mnt/us/ql/state").
std::string state_folder();

// The saved position of a book; font receives the saved size (40 when missing or out of 24..64).
// A missing or unreadable file gives position 0. With `book` (the open book), a word position
// saved in numbering 1 is moved onto the words it keeps; without, it is taken as it stands.
uint64_t ql_load_position(const char* path, int* font, const BookModel* book = nullptr);
// Replaces the position file (numbering 2) atomically; a file that already holds the position
// only has its time set. False when it could not be written: the old file stays, and the position
// is held (base/held_files.h) as the book's, for ql_load_position and a later write.
bool ql_save_position(const char* path, uint64_t pos, int font);

// Loads the book's highlights and bookmarks (what a failed save of its notes holds in memory, else
// the ".notes" file, else the older ".ann" file, else none). With `book` (the open book), the
// highlights and word bookmarks of a file in numbering 1 are moved onto the words it keeps; page
// bookmarks never move. Always 1.
int qla_load(const char* path, const BookModel* book = nullptr);
// Writes every highlight and bookmark to the book's ".notes" file, in numbering 2, creating the
// state folder. False when it could not be written; the previous file then stays as it was and
// the notes are held in memory until a write succeeds (base/held_files.h).
bool qla_save(const char* path);

// Line feeds in notes and labels become spaces: the file holds one record a line.
int qla_hl_add(uint64_t start, uint64_t end, const char* note);
int qla_hl_set_note(size_t i, const char* note);
void qla_hl_del(size_t i);
int qla_bm_add(uint64_t pos, const char* label, uint32_t is_tok);
void qla_bm_set_tok(size_t i, uint64_t word);
void qla_bm_del(size_t i);
size_t qla_hl_count();
const Highlight* qla_hls();
size_t qla_bm_count();
const Bookmark* qla_bms();
// The notes file last loaded or saved.
const char* qla_book_key();
