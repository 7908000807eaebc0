// Plain-text books: paragraphs by line or by blank line, headings that open chapters.
#include <algorithm>
#include <array>

#include "book/convert/convert_model.h"
#include "base/text_decode.h"

namespace {
constexpr size_t kChapterFull = 120000;     // bytes before a paragraph opens a new chapter
constexpr size_t kHeadingKeepsChapter = 2001;  // a heading this early titles the open chapter
constexpr size_t kHeadingMin = 3, kHeadingMax = 70;
constexpr size_t kTextTitleMax = 100;
constexpr size_t kBlankLinesPerLine = 12;   // one blank line in this many: blank-line paragraphs

struct HeadingWord {
  std::string_view prefix;
  size_t min_length;
};
constexpr std::array<HeadingWord, 11> kHeadingWords = {{
    {"chapter ", 8}, {"part ", 5}, {"book ", 5}, {"luku ", 5}, {"osa ", 4}, {"prologue", 8},
    {"epilogue", 8}, {"introduction", 12}, {"preface", 7}, {"kapitel ", 8}, {"chapitre ", 9},
}};

bool is_heading(std::string_view p) {
  if (p.size() < kHeadingMin || p.size() > kHeadingMax) return false;
  return std::any_of(kHeadingWords.begin(), kHeadingWords.end(), [&](const HeadingWord& h) {
    return p.size() >= h.min_length && starts_nocase(p, h.prefix);
  });
}

bool is_blank_char(char c) { return c == ' ' || c == '\t'; }

// True when the line starting at `from` holds only spaces and tabs (up to a line feed or the end).
bool line_is_blank(std::string_view t, size_t from) {
  while (from < t.size() && is_blank_char(t[from])) from++;
  return from == t.size() || t[from] == '\n';
}

// Carriage returns before a line feed become spaces (trimmed with the paragraph's end), others
// end a line themselves.
std::string unify_line_ends(std::string text) {
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] != '\r') continue;
    text[i] = i + 1 < text.size() && text[i + 1] == '\n' ? ' ' : '\n';
  }
  return text;
}

// The paragraph with the spaces and tabs at the end of each of its lines removed: with them, a
// file with CRLF line ends would measure and split differently from the same text with LF.
std::string trimmed_lines(std::string_view p) {
  std::string out;
  out.reserve(p.size());
  for (char c : p) {
    if (c == '\n') {
      while (!out.empty() && is_blank_char(out.back())) out.pop_back();
    }
    out += c;
  }
  while (!out.empty() && is_blank_char(out.back())) out.pop_back();
  return out;
}

void write_paragraph(std::string& body, std::string_view p, const char* open, const char* close) {
  body += open;
  const size_t start = body.size();
  append_escaped(body, p);
  std::replace(body.begin() + static_cast<std::ptrdiff_t>(start), body.end(), '\n', ' ');
  body += close;
}
}  // namespace

std::optional<std::string> text_read(std::string_view file, std::string_view path, ConvBook& book) {
  std::string decoded;
  to_utf8(decoded, file, kEncodingAuto);
  const std::string text = unify_line_ends(std::move(decoded));
  book.title = stem_of(path);

  size_t lines = 1, blank = 0;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] != '\n') continue;
    lines++;
    if (i + 1 < text.size() && line_is_blank(text, i + 1) &&
        text.find_first_not_of(" \t", i + 1) != std::string::npos) {
      blank++;
    }
  }
  const bool by_blank_lines = blank * kBlankLinesPerLine > lines;

  std::string* body = &book.chapter_new("");
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (is_blank_char(text[i]) || text[i] == '\n')) i++;
    if (i >= text.size()) break;
    size_t end = text.find('\n', i);
    while (by_blank_lines && end != std::string::npos && !line_is_blank(text, end + 1)) end = text.find('\n', end + 1);
    if (end == std::string::npos) end = text.size();
    const std::string para = trimmed_lines(std::string_view(text).substr(i, end - i));
    const std::string_view p = para;
    i = end;

    const bool heading = is_heading(p);
    const bool one_line = p.find('\n') == std::string_view::npos;
    if (heading && one_line) {
      ConvChapter& current = book.chapters.back();
      if (current.body.size() < kHeadingKeepsChapter) {
        if (current.title.empty()) current.title = cut_text(p, kTextTitleMax);
      } else {
        body = &book.chapter_new(cut_text(p, kTextTitleMax));
      }
      write_paragraph(*body, p, "<h2>", "</h2>\n");
      continue;
    }
    if (body->size() > kChapterFull) body = &book.chapter_new("");
    write_paragraph(*body, p, "<p>", "</p>\n");
  }
  return std::nullopt;
}
