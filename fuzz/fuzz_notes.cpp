// The per-book state readers on arbitrary file contents: the reading position (".pos"), the notes
// file (".notes") and the older ".ann" file, loaded for a book that leaves words out, so that word
// positions of earlier files move. Whatever loads must survive a save and a reload unchanged: a
// highlight or bookmark that was read is never lost by writing it back, nor moved twice. The
// first byte picks the file; the rest is its content.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "book/annotations.h"
#include "book/book_model.h"
#include "fuzz_support.h"

namespace {
constexpr const char* kBook = "/mnt/us/documents/book.epub";

const std::string& state() {
  static const std::string dir = [] {
    std::string d = fuzz::device_root() + "/state";
    if (mkdir(d.c_str(), 0755) != 0) abort();
    setenv("QUILLO_STATE", d.c_str(), 1);
    return d;
  }();
  return dir;
}

std::string state_file(const std::string& suffix) { return state() + "/" + book_path_key(kBook) + suffix; }

// Words left out before the first, between the others and after the last kept word.
const BookModel& book() {
  static const BookModel model = [] {
    BookModel b;
    for (uint64_t count : {3, 1, 2, 5}) {
      if (!b.left_out_add(count)) abort();
      for (const char* w : {"one", "two"}) b.addword(w, STYLE_PLAIN, BRK_NONE);
    }
    if (!b.left_out_add(4)) abort();
    return b;
  }();
  return model;
}

bool same_highlight(const Highlight& a, const Highlight& b) {
  return a.start == b.start && a.end == b.end && a.style == b.style && a.created == b.created &&
         strcmp(a.note, b.note) == 0;
}

bool same_bookmark(const Bookmark& a, const Bookmark& b) {
  return a.pos == b.pos && a.created == b.created && a.is_tok == b.is_tok && strcmp(a.label, b.label) == 0;
}

void check_position() {
  int font = 0;
  uint64_t pos = ql_load_position(kBook, &font, &book());
  if (font < kMinFontSize || font > kMaxFontSize) __builtin_trap();
  if (!ql_save_position(kBook, pos, font)) __builtin_trap();
  int again_font = 0;
  if (ql_load_position(kBook, &again_font, &book()) != pos || again_font != font) __builtin_trap();
}

void check_notes() {
  if (qla_load(kBook, &book()) != 1) __builtin_trap();
  if (qla_hl_count() > kMaxHighlights || qla_bm_count() > kMaxBookmarks) __builtin_trap();
  std::vector<Highlight> hls(qla_hls(), qla_hls() + qla_hl_count());
  std::vector<Bookmark> bms(qla_bms(), qla_bms() + qla_bm_count());
  for (const Highlight& h : hls)
    if (strnlen(h.note, sizeof h.note) > kNoteMax || h.style == 0) __builtin_trap();
  for (const Bookmark& b : bms)
    if (strnlen(b.label, sizeof b.label) > kBookmarkLabelMax || b.is_tok > 1) __builtin_trap();

  if (!qla_save(kBook)) __builtin_trap();
  qla_load(kBook, &book());
  if (qla_hl_count() != hls.size() || qla_bm_count() != bms.size()) __builtin_trap();
  for (size_t i = 0; i < hls.size(); i++)
    if (!same_highlight(hls[i], qla_hls()[i])) __builtin_trap();
  for (size_t i = 0; i < bms.size(); i++)
    if (!same_bookmark(bms[i], qla_bms()[i])) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const std::string files[] = {state_file(".pos"), state_file(".notes"), state() + "/book.epub.ann"};
  // Each run sees only the one file it wrote.
  for (const std::string& f : files) unlink(f.c_str());
  const std::string& target = files[data[0] % 3];
  fuzz::write_host_file(target, data + 1, size - 1);
  if (data[0] % 3 == 0) check_position();
  else check_notes();
  return 0;
}
