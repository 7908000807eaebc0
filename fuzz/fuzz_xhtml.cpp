// The XML scanner, the entity decoder, the text decoders and the XHTML word reader directly on
// bytes. The first byte holds knobs (XHTML or XML sniffing, the code page); the rest is the
// document.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "book/epub.h"
#include "base/text_decode.h"
#include "book/xml_scan.h"
#include "fuzz_chapters.h"
#include "fuzz_support.h"

namespace {
constexpr std::string_view kDocPath = "OEBPS/text/ch1.xhtml";
constexpr uint32_t kEncodings[] = {kEncodingAuto, kCodePage1251, kCodePage1252, kCodePageUtf8};

bool is_ascii_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A member path as normpath promises it: no leading "/", no empty, "." or ".." segments.
void check_member_path(std::string_view path) {
  if (path.empty()) return;
  size_t segments = 0, start = 0;
  for (;;) {
    size_t slash = path.find('/', start);
    std::string_view seg = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (seg.empty() || seg == "." || seg == "..") __builtin_trap();
    segments++;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  if (segments > kPathSegmentsMax) __builtin_trap();
}

// Every tag: the scanner moves forward, stays inside the document, and its attribute values
// respect the size asked for.
void check_scan(const std::string& doc) {
  const char* begin = doc.c_str();
  const char* end = begin + strlen(begin);
  XmlScanner s(begin);
  const char* last = s.cursor;
  while (nexttag(s)) {
    if (s.cursor <= last || s.cursor > end || s.tag_end < begin || s.tag_end > end) __builtin_trap();
    if (s.text < begin || s.text_len > static_cast<size_t>(end - s.text)) __builtin_trap();
    if (s.name.size() > kTagNameMax || s.attrs < begin || s.attrs > s.tag_end) __builtin_trap();
    std::string_view after = s.text_after();
    if (after.data() < begin || after.size() > static_cast<size_t>(end - after.data())) __builtin_trap();
    last = s.cursor;
    for (const char* name : {"href", "src", "id"}) {
      auto value = attr(s, name, 16);
      if (!value) continue;
      if (value->size() > 15) __builtin_trap();
      check_member_path(normpath("OEBPS/text/", *value));
    }
  }
}

void check_words(const std::string& doc) {
  BookModel book;
  book.spine.push_back({std::string(kDocPath), 0});
  xhtml_words(book, doc, kDocPath);
  for (const BookWord& w : book.words) {
    if (!w.text || !w.text[0] || w.style > STYLE_PICTURE || w.brk > BRK_LINE) __builtin_trap();
    if ((w.brk != BRK_NONE && (w.join || w.tie)) || (w.tie && w.join) || w.link > book.links.size()) __builtin_trap();
    if (w.style == STYLE_PICTURE) {
      // A picture's text is the mark and a member path (which may hold spaces).
      if (w.text[0] != kPictureMark || !w.text[1]) __builtin_trap();
      check_member_path(w.text + 1);
      continue;
    }
    for (const char* p = w.text; *p; p++)
      if (is_ascii_space(*p)) __builtin_trap();
  }
  for (const BookAnchor& a : book.anchors)
    if (a.spine != 0 || a.word > book.words.size() || a.id.size() > kAnchorIdMax) __builtin_trap();
  for (const BookLink& l : book.links)
    if (l.spine != 0 || l.href.empty()) __builtin_trap();
  // Left-out runs: in order, none empty, each where the earlier numbering had it, and its words
  // and the word after them move onto the kept word they stood before.
  uint64_t left_out = 0;
  for (size_t i = 0; i < book.left_out.size(); i++) {
    const LeftOutRun& r = book.left_out[i];
    if (r.count == 0 || r.at > book.words.size() || (i > 0 && r.at <= book.left_out[i - 1].at)) __builtin_trap();
    if (r.old_at != r.at + left_out) __builtin_trap();
    if (book.word_from_old(r.old_at) != r.at || book.word_from_old(r.old_at + r.count) != r.at) __builtin_trap();
    left_out += r.count;
  }
}

void check_decoders(std::string_view bytes, uint32_t encoding) {
  std::string decoded = decode(bytes);
  if (!needs_decode(bytes) && decoded != bytes) __builtin_trap();

  std::string out = "kept";
  to_utf8(out, bytes, encoding);
  if (out.compare(0, 4, "kept") != 0) __builtin_trap();
  // Apart from UTF-8 passed through as it is, the output is well-formed.
  bool passed_through = bytes.starts_with("\xEF\xBB\xBF") ||
                        (!bytes.starts_with("\xFE\xFF") && !bytes.starts_with("\xFF\xFE") &&
                         (encoding == kCodePageUtf8 || encoding == kEncodingAuto));
  if (!passed_through && !is_well_formed_utf8(out)) __builtin_trap();
  // Unmarked text under automatic detection is UTF-8 when well-formed, else read as 1252.
  if (encoding == kEncodingAuto && !bytes.starts_with("\xEF\xBB\xBF") && !is_well_formed_utf8(out))
    __builtin_trap();
}

// Each seed chapter read as XHTML in UTF-8 and as HTML under automatic detection.
void write_seeds() {
  for (size_t i = 0; i < fuzz::kSeedBodies.size(); i++) {
    const std::string doc = fuzz::seed_chapter(fuzz::kSeedBodies[i]);
    fuzz::write_seed("xhtml" + std::to_string(i), std::string(1, '\x06') + doc);
    fuzz::write_seed("html" + std::to_string(i), std::string(1, '\x01') + doc);
  }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool is_html = data[0] & 1;
  const uint32_t encoding = kEncodings[data[0] >> 1 & 3];
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  check_decoders(bytes, encoding);
  std::string doc = document_to_utf8(bytes, is_html);
  check_scan(doc);
  check_words(doc);
  return 0;
}
