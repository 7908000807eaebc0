#include "book/annotations.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/held_files.h"
#include "base/paths.h"
#include "book/book_model.h"

namespace {
constexpr size_t kLineMax = 1024;

std::array<Highlight, kMaxHighlights> hls;
size_t nh = 0;
std::array<Bookmark, kMaxBookmarks> bms;
size_t nb = 0;
std::string book_key;

// Copies text (may be null) cut to size - 1 bytes; line breaks become spaces.
void copy_field(char* dst, size_t size, const char* text) {
  size_t n = text ? strnlen(text, size - 1) : 0;
  for (size_t i = 0; i < n; i++) dst[i] = (text[i] == '\n' || text[i] == '\r') ? ' ' : text[i];
  dst[n] = 0;
}

std::string notes_file(const char* path) {
  return state_folder() + "/" + book_path_key(path ? path : "") + ".notes";
}

std::string legacy_file(const char* path) {
  std::string_view p = path ? path : "";
  size_t slash = p.rfind('/');
  std::string_view name = slash == std::string_view::npos ? p : p.substr(slash + 1);
  return state_folder() + "/" + std::string(name) + ".ann";
}

void read_line(const char* line) {
  if (strncmp(line, "HL ", 3) == 0) {
    if (nh >= kMaxHighlights) return;
    Highlight h{};
    char style = 0;
    int got = sscanf(line + 3, "%" SCNu64 " %" SCNu64 " %" SCNd64 " %c %511[^\n]", &h.start, &h.end,
                     &h.created, &style, h.note);
    if (got < 4) return;
    h.style = style ? style : 'y';
    if (got < 5) h.note[0] = 0;
    hls[nh++] = h;
  } else if (strncmp(line, "BM ", 3) == 0 || strncmp(line, "BT ", 3) == 0) {
    if (nb >= kMaxBookmarks) return;
    Bookmark b{};
    int got = sscanf(line + 3, "%" SCNu64 " %" SCNd64 " %127[^\n]", &b.pos, &b.created, b.label);
    if (got < 2) return;
    if (got < 3) b.label[0] = 0;
    b.is_tok = line[1] == 'T';
    bms[nb++] = b;
  }
}

// Moves word positions saved in numbering 1 onto the words the book keeps; pages stay.
void renumber_from_old(const BookModel& book) {
  for (size_t i = 0; i < nh; i++) book.range_from_old(hls[i].start, hls[i].end);
  for (size_t i = 0; i < nb; i++) {
    if (bms[i].is_tok) bms[i].pos = book.word_from_old(bms[i].pos);
  }
}

template <class T, size_t N>
void erase_at(std::array<T, N>& table, size_t& count, size_t i) {
  if (i >= count) return;
  for (size_t k = i + 1; k < count; k++) table[k - 1] = table[k];
  count--;
}
}  // namespace

int qla_load(const char* path, const BookModel* book) {
  nh = nb = 0;
  book_key = notes_file(path);
  // Notes whose save failed are the book's notes, not the older file under them.
  const std::string* unsaved = held_content(book_key);
  if (unsaved && unsaved->empty()) return 1;
  FilePtr f{unsaved ? fmemopen(const_cast<char*>(unsaved->data()), unsaved->size(), "r")
                    : qlp_fopen(book_key.c_str(), "r")};
  if (!f && !unsaved) f.reset(qlp_fopen(legacy_file(path).c_str(), "r"));
  if (!f) return 1;
  char line[kLineMax];
  bool renumbered = false;
  while (fgets(line, sizeof line, f.get())) {
    if (marks_word_numbering(line)) renumbered = true;
    else read_line(line);
  }
  if (book && !renumbered) renumber_from_old(*book);
  return 1;
}

bool qla_save(const char* path) {
  book_key = notes_file(path);
  std::string text = "WN " + std::to_string(kWordNumbering) + "\n";
  char line[kLineMax + 64];
  for (size_t i = 0; i < nh; i++) {
    const Highlight& h = hls[i];
    snprintf(line, sizeof line, "HL %" PRIu64 " %" PRIu64 " %lld %c %s\n", h.start, h.end,
             static_cast<long long>(h.created), h.style ? h.style : 'y', h.note);
    text += line;
  }
  for (size_t i = 0; i < nb; i++) {
    const Bookmark& b = bms[i];
    snprintf(line, sizeof line, "%s %" PRIu64 " %lld %s\n", b.is_tok ? "BT" : "BM", b.pos,
             static_cast<long long>(b.created), b.label);
    text += line;
  }
  return held_replace(book_key, std::move(text), ReaderWork::Notes);
}

int qla_hl_add(uint64_t start, uint64_t end, const char* note) {
  if (end <= start || nh >= kMaxHighlights) return 0;
  Highlight& h = hls[nh++];
  h = Highlight{start, end, {}, 'y', static_cast<int64_t>(time(nullptr))};
  copy_field(h.note, sizeof h.note, note);
  return 1;
}

int qla_hl_set_note(size_t i, const char* note) {
  if (i >= nh) return 0;
  copy_field(hls[i].note, sizeof hls[i].note, note);
  return 1;
}

void qla_hl_del(size_t i) { erase_at(hls, nh, i); }

int qla_bm_add(uint64_t pos, const char* label, uint32_t is_tok) {
  if (nb >= kMaxBookmarks) return 0;
  Bookmark& b = bms[nb++];
  b = Bookmark{pos, {}, static_cast<int64_t>(time(nullptr)), is_tok ? 1u : 0u};
  copy_field(b.label, sizeof b.label, label ? label : "Bookmark");
  return 1;
}

void qla_bm_set_tok(size_t i, uint64_t word) {
  if (i >= nb) return;
  bms[i].pos = word;
  bms[i].is_tok = 1;
}

void qla_bm_del(size_t i) { erase_at(bms, nb, i); }

size_t qla_hl_count() { return nh; }
const Highlight* qla_hls() { return hls.data(); }
size_t qla_bm_count() { return nb; }
const Bookmark* qla_bms() { return bms.data(); }
const char* qla_book_key() { return book_key.c_str(); }
