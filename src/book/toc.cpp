#include "book/toc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "base/utf8.h"
#include "book/book_model.h"
#include "book/pdf_adapter.h"
#include "book/xml_scan.h"

namespace {
constexpr size_t kFragmentMax = 255;
constexpr size_t kNavLabelMax = 511;     // concatenated link text kept before cleaning
constexpr size_t kHeadingLabelMax = 199;
constexpr size_t kNavHrefSize = 4096;
constexpr size_t kEpubTypeSize = 64;

std::array<TocEntry, kMaxTocEntries> tocs;
size_t ntocs = 0;
// The open PDF's outline is copied in when the table is first read, not when the book opens.
bool pdf_outline_pending = false;

void take_pending_outline() {
  if (!pdf_outline_pending) return;
  pdf_outline_pending = false;
  const PdfOutlineEntry* outline = qlpdf_toc();
  int n = outline ? qlpdf_toc_count() : 0;
  for (int i = 0; i < n; i++) {
    ql_toc_add(outline[i].title, static_cast<uint64_t>(static_cast<int64_t>(outline[i].page)),
               static_cast<uint32_t>(outline[i].level));
  }
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Decodes, drops soft hyphens and leading white space, folds runs of white space into one space,
// stops at 255 bytes and trims trailing spaces.
std::string clean_label(std::string_view raw) {
  const std::string decoded = needs_decode(raw) ? decode(raw) : std::string(raw);
  std::string scratch;
  const std::string_view text = strip_soft_hyphens(decoded, scratch);
  std::string out;
  bool space = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (out.size() >= kTocTitleMax) break;
    // A no-break space ("Chapter&#160;1") reads as any other space in a label.
    const bool no_break_space = text.substr(i, 2) == "\xC2\xA0";
    if (is_space(c) || no_break_space) {
      space = !out.empty();
      i += no_break_space ? 1 : 0;
      continue;
    }
    if (space) {
      out += ' ';
      space = false;
      if (out.size() >= kTocTitleMax) break;
    }
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

uint32_t level_of(int depth) { return static_cast<uint32_t>(std::max(depth, 1) - 1); }

void add_resolved(const std::string& label, std::string_view href, int depth) {
  if (label.empty()) return;
  int64_t target = toc_resolve(href);
  if (target >= 0) ql_toc_add(label.c_str(), static_cast<uint64_t>(target), level_of(depth));
}

void read_ncx(const std::string& xml) {
  XmlScanner s(xml.c_str());
  int depth = 0;
  bool in_label = false;
  std::string label;
  while (nexttag(s)) {
    if (s.name == "navPoint") {
      if (s.self_closing) continue;
      if (s.closing) {
        depth--;
      } else {
        depth++;
        label.clear();
      }
    } else if (s.name == "navLabel") {
      if (!s.self_closing) in_label = !s.closing;
    } else if (s.name == "text" && in_label && !s.closing) {
      label = clean_label(s.text_after());
    } else if (s.name == "content" && !s.closing) {
      if (auto src = attr(s, "src", kNavHrefSize)) add_resolved(label, *src, depth);
    }
  }
}

void read_nav(const std::string& xml) {
  XmlScanner s(xml.c_str());
  bool in_toc = false;
  int depth = 0;
  std::optional<std::string> href;  // the open link, while its text is gathered
  std::string text;
  while (nexttag(s)) {
    if (href) {
      if (text.size() + s.text_len < kNavLabelMax + 1) text.append(s.text, s.text_len);
    }
    if (s.name == "nav") {
      if (!s.closing && !in_toc) {
        auto type = attr(s, "epub:type", kEpubTypeSize);
        in_toc = type && *type == "toc";
        depth = 0;
      } else if (s.closing && in_toc) {
        return;
      }
      continue;
    }
    if (!in_toc) continue;
    if (s.name == "ol" && !s.self_closing) {
      depth += s.closing ? -1 : 1;
    } else if (s.name == "a") {
      if (!s.closing && !s.self_closing) {
        href = attr(s, "href", kNavHrefSize);
        text.clear();
      } else if (s.closing && href) {
        add_resolved(clean_label(text), *href, depth);
        href.reset();
      }
    }
  }
}

}  // namespace

void ql_toc_clear() {
  ntocs = 0;
  pdf_outline_pending = false;
}

void ql_toc_add(const char* title, uint64_t pos, uint32_t level) {
  if (ntocs >= kMaxTocEntries) return;
  TocEntry& e = tocs[ntocs++];
  e = TocEntry{};
  if (title) {
    size_t n = strnlen(title, kTocTitleMax);
    memcpy(e.title, title, n);
  }
  e.pos = pos;
  e.level = level;
}

size_t ql_toc_count() {
  take_pending_outline();
  return ntocs;
}

const TocEntry* ql_toc() {
  take_pending_outline();
  return tocs.data();
}

int64_t toc_resolve(std::string_view href) {
  const BookModel& b = ql_book();
  size_t hash = href.find('#');
  std::string_view fragment =
      hash == std::string_view::npos ? std::string_view{} : href.substr(hash + 1, kFragmentMax);
  std::string path = normpath(b.toc_base, href);
  for (size_t i = 0; i < b.spine.size(); i++) {
    if (b.spine[i].path != path) continue;
    if (!fragment.empty()) {
      for (const BookAnchor& a : b.anchors)
        if (a.spine == i && a.id == fragment) return static_cast<int64_t>(a.word);
    }
    return static_cast<int64_t>(b.spine[i].first_word);
  }
  return -1;
}

size_t ql_toc_from_nav() {
  const BookModel& b = ql_book();
  if (b.pdf_mode || b.toc_xml.empty() || b.spine.empty()) return 0;
  ql_toc_clear();
  if (b.toc_is_nav) read_nav(b.toc_xml);
  else read_ncx(b.toc_xml);
  return ntocs;
}

void ql_toc_from_pdf() {
  ql_toc_clear();
  pdf_outline_pending = true;
}

void ql_toc_from_words() {
  ql_toc_clear();
  const BookModel& b = ql_book();
  std::string previous, plain;
  size_t i = 0;
  while (i < b.words.size()) {
    if (b.words[i].style != STYLE_HEADING) {
      i++;
      continue;
    }
    size_t first = i;
    std::string label(strip_soft_hyphens(b.words[i].text, plain));
    for (i++; i < b.words.size() && b.words[i].style == STYLE_HEADING && b.words[i].brk == BRK_NONE; i++) {
      if (!b.words[i].join) label += ' ';
      label += strip_soft_hyphens(b.words[i].text, plain);
    }
    if (label.size() > kHeadingLabelMax) label.resize(kHeadingLabelMax);
    if (label != previous) ql_toc_add(label.c_str(), first, 0);
    previous = std::move(label);
  }
}
