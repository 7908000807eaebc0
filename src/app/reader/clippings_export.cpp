#include "app/reader/clippings_export.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/reader/paginator.h"
#include "app/reader/reader_bookmark.h"
#include "app/reader/region_note.h"
#include "app/ui/app_state.h"
#include "base/atomic_file.h"
#include "base/paths.h"
#include "base/utf8.h"
#include "book/annotations.h"
#include "book/book_model.h"

namespace {
constexpr char kClippingsDir[] = "/mnt/us/documents/Clippings";
constexpr size_t kNameMax = 150;
constexpr size_t kExtensionReach = 5;
constexpr size_t kRegionTextMax = 519;
constexpr size_t kHeaderSize = 1024;
constexpr char kSeparator[] = "\r\n==========\r\n";
constexpr int kImageStyle = 4;

bool text_book() { return !ql_is_pdf(); }

// Formats one entry's header; nothing is written when it does not fit.
void write_header(FILE* f, const char* kind, uint64_t page, int64_t created) {
  char header[kHeaderSize];
  const int n = snprintf(header, sizeof header, "%s (%s)\r\n- Your %s on page %llu | Added on %lld\r\n\r\n",
                         ql_title(), ql_author(), kind, static_cast<unsigned long long>(page),
                         static_cast<long long>(created));
  if (n > 0 && size_t(n) < sizeof header) fwrite(header, 1, size_t(n), f);
}

// The words of a text highlight, pictures left out, glued words without their space, soft
// hyphens dropped so that the exported text can be searched.
std::string highlight_words(const Highlight& h) {
  std::string text, plain;
  const uint64_t last = std::min<uint64_t>(h.end, ql_word_count());
  const BookWord* words = ql_words();
  for (uint64_t i = h.start; i < last; ++i) {
    if (words[i].style == kImageStyle) continue;
    if (!text.empty() && !words[i].join) text += ' ';
    text += strip_soft_hyphens(words[i].text, plain);
  }
  return text;
}

std::string highlight_text(const Highlight& h) {
  if (text_book()) return highlight_words(h);
  const size_t length = strnlen(h.note, sizeof h.note);
  if (!note_parse_region(h.note, length).valid) return {};
  const std::string_view note(h.note, length);
  const std::string_view after = note.substr(note.find('|') + 1);
  return std::string(after.substr(0, utf8_prefix_length(after, kRegionTextMax)));
}

bool has_own_note(const Highlight& h) {
  const size_t length = strnlen(h.note, sizeof h.note);
  return length > 0 && std::string_view(h.note, length) != "mark" &&
         !note_parse_region(h.note, length).valid;
}

void write_entries(FILE* f) {
  // The mark other readers of such files expect before the first entry.
  if (qla_hl_count() + qla_bm_count() > 0) fputs("\xEF\xBB\xBF", f);
  const Highlight* highlights = qla_hls();
  for (size_t i = 0; i < qla_hl_count(); ++i) {
    const Highlight& h = highlights[i];
    const uint64_t page = (text_book() ? layout_page_of_word(h.start) : h.start) + 1;
    write_header(f, "Highlight", page, h.created);
    const std::string text = highlight_text(h);
    fwrite(text.data(), 1, text.size(), f);
    fputs(kSeparator, f);
    if (!has_own_note(h)) continue;
    write_header(f, "Note", page, h.created);
    fwrite(h.note, 1, strnlen(h.note, sizeof h.note), f);
    fputs(kSeparator, f);
  }
  const uint64_t pages = std::max<uint64_t>(reader_page_total(), 1);
  const Bookmark* bookmarks = qla_bms();
  for (size_t i = 0; i < qla_bm_count(); ++i) {
    write_header(f, "Bookmark", reader_bookmark_page(bookmarks[i], pages) + 1, bookmarks[i].created);
    fputs(kSeparator, f);
  }
}
}  // namespace

std::string clippings_file_name(std::string_view book_path) {
  std::string_view name = book_path.substr(book_path.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot != 0 && name.size() - dot <= kExtensionReach)
    name = name.substr(0, dot);
  std::string out(name.substr(0, utf8_prefix_length(name, kNameMax)));
  for (char& c : out)
    if (c == '/' || c == ':' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
  return out;
}

bool export_clippings() {
  if (qlp_mkdir(kClippingsDir, 0755) != 0 && errno != EEXIST) return false;
  char path[kTmpPathSize];
  const std::string name = clippings_file_name(app.reader.open_path);
  const int n = snprintf(path, sizeof path, "%s/%s.txt", kClippingsDir, name.c_str());
  if (n < 0 || size_t(n) >= sizeof path) return false;
  char tmp[kTmpPathSize];
  if (!*path_with_tmp_suffix(tmp, path)) return false;
  FILE* f = file_create_new(tmp);
  if (!f) return false;
  write_entries(f);
  return file_commit(f, tmp, path);
}
