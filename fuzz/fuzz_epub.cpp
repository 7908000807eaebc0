// Whole-book opening of EPUB files, then what the reader does with an open book: the contents
// (navigation document, NCX, headings), links, phrase search and the cover finder. The first
// byte picks what the rest of the input is:
//   0: the whole book file;
//   1-5: one member of an otherwise valid stored book (a chapter, the package, the NCX, the
//        navigation document, the container), which reaches the XML readers far faster than
//        mutating compressed archives does.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/support/zip_writer.h"
#include "base/utf8.h"
#include "book/book_model.h"
#include "book/epub.h"
#include "book/toc.h"
#include "fuzz_chapters.h"
#include "fuzz_support.h"

namespace {
enum class Part { whole, chapter, package, ncx, nav, container };

constexpr size_t kLinksChecked = 256;
constexpr int kCoverSide = 8;

const char* const kChapter2 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">"
    "<head><title>Two</title></head><body><h1 id=\"two\">Second Part</h1><p>The <a href=\"ch1.xhtml#a\">"
    "first</a> one, and <img src=\"../images/cover.bmp\"/> a picture.</p></body></html>";

const char* const kChapter1 =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">"
    "<head><title>One</title></head><body><h1>First &amp; Only</h1><p id=\"a\">Some <b>bold</b> "
    "and <i>slanted</i> words<sup><a href=\"ch2.xhtml#two\">1</a></sup>.</p><ol><li>one</li>"
    "<li>two</li></ol></body></html>";

const char* const kNcx =
    "<?xml version=\"1.0\"?>\n<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\"><navMap>"
    "<navPoint id=\"n1\"><navLabel><text>One</text></navLabel><content src=\"text/ch1.xhtml\"/>"
    "<navPoint id=\"n2\"><navLabel><text>Two</text></navLabel><content src=\"text/ch2.xhtml#two\"/>"
    "</navPoint></navPoint></navMap></ncx>";

const char* const kNav =
    "<?xml version=\"1.0\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
    "xmlns:epub=\"http://www.idpf.org/2007/ops\"><body><nav epub:type=\"toc\"><ol><li>"
    "<a href=\"text/ch1.xhtml\">One</a><ol><li><a href=\"text/ch2.xhtml#two\">Two</a></li></ol>"
    "</li></ol></nav></body></html>";

const char* const kContainer =
    "<?xml version=\"1.0\"?>\n<container version=\"1.0\" "
    "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
    "full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/></rootfiles>"
    "</container>";

// The package lists the NCX and the navigation document only when that one is being fuzzed or
// both are (the navigation document wins when both are listed).
std::string package(Part part) {
  std::string o =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<package xmlns=\"http://www.idpf.org/2007/opf\" "
      "version=\"3.0\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>A &amp; B"
      "</dc:title><dc:creator>Writer</dc:creator><dc:language>en</dc:language>"
      "<meta name=\"cover\" content=\"cov\"/></metadata><manifest>";
  if (part != Part::ncx) o += "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>";
  if (part != Part::nav) o += "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>";
  o += "<item id=\"c1\" href=\"text/ch1.xhtml\" media-type=\"application/xhtml+xml\"/>"
       "<item id=\"c2\" href=\"text/ch2.xhtml\" media-type=\"application/xhtml+xml\"/>"
       "<item id=\"cov\" href=\"images/cover.bmp\" media-type=\"image/bmp\"/>"
       "</manifest><spine toc=\"ncx\"><itemref idref=\"c1\"/><itemref idref=\"c2\"/></spine></package>";
  return o;
}

// A 2 x 2 grey picture, 24-bit BMP.
std::string cover_picture() {
  std::string b = "BM";
  zipw::put32(b, 54 + 16);  // file size
  zipw::put32(b, 0);
  zipw::put32(b, 54);       // pixel data offset
  zipw::put32(b, 40);       // header size
  zipw::put32(b, 2);        // width
  zipw::put32(b, 2);        // height
  zipw::put16(b, 1);        // planes
  zipw::put16(b, 24);       // bits per pixel
  for (int i = 0; i < 6; i++) zipw::put32(b, 0);
  for (int row = 0; row < 2; row++) b += std::string("\x40\x40\x40\xC0\xC0\xC0\0\0", 8);
  return b;
}

std::string book_with(Part part, std::string_view fuzzed) {
  auto pick = [&](Part p, std::string fixed) { return part == p ? std::string(fuzzed) : fixed; };
  std::vector<zipw::Member> m;
  m.push_back({"mimetype", "application/epub+zip", zipw::kStored});
  m.push_back({"META-INF/container.xml", pick(Part::container, kContainer), zipw::kStored});
  m.push_back({"OEBPS/content.opf", pick(Part::package, package(part)), zipw::kStored});
  m.push_back({"OEBPS/toc.ncx", pick(Part::ncx, kNcx), zipw::kStored});
  m.push_back({"OEBPS/nav.xhtml", pick(Part::nav, kNav), zipw::kStored});
  m.push_back({"OEBPS/text/ch1.xhtml", pick(Part::chapter, kChapter1), zipw::kStored});
  m.push_back({"OEBPS/text/ch2.xhtml", kChapter2, zipw::kStored});
  m.push_back({"OEBPS/images/cover.bmp", cover_picture(), zipw::kStored});
  return zipw::build(m);
}

bool is_ascii_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void check_book() {
  const BookModel& b = ql_book();
  const uint64_t n = ql_word_count();
  if (n == 0 || n != b.words.size() || b.spine.empty()) __builtin_trap();
  if (b.title.empty() || b.title.size() > kTitleMax || b.author.size() > kAuthorMax) __builtin_trap();
  for (const BookWord& w : b.words) {
    if (!w.text || !w.text[0] || w.style > STYLE_PICTURE || w.brk > BRK_LINE) __builtin_trap();
    if (w.brk != BRK_NONE && (w.join || w.tie)) __builtin_trap();
    if (w.tie && w.join) __builtin_trap();
    if (w.link > b.links.size()) __builtin_trap();
    if (w.style == STYLE_PICTURE) {
      if (w.text[0] != kPictureMark || !w.text[1]) __builtin_trap();
      continue;
    }
    for (const char* p = w.text; *p; p++)
      if (is_ascii_space(*p)) __builtin_trap();
  }
  uint64_t previous = 0;
  for (const SpineEntry& s : b.spine) {
    if (s.first_word < previous || s.first_word > n) __builtin_trap();
    previous = s.first_word;
  }
  for (const BookAnchor& a : b.anchors)
    if (a.spine >= b.spine.size() || a.word > n || a.id.size() > kAnchorIdMax) __builtin_trap();
  for (uint32_t id = 1; id <= std::min<size_t>(b.links.size(), kLinksChecked); id++) {
    int64_t to = ql_link_token(id);
    if (to < -1 || to > static_cast<int64_t>(n)) __builtin_trap();
  }
  if (ql_link_token(0) != -1) __builtin_trap();
}

void check_contents() {
  const uint64_t n = ql_word_count();
  auto check_table = [n] {
    if (ql_toc_count() > kMaxTocEntries) __builtin_trap();
    for (size_t i = 0; i < ql_toc_count(); i++) {
      const TocEntry& e = ql_toc()[i];
      if (strnlen(e.title, sizeof e.title) > kTocTitleMax || e.pos > n) __builtin_trap();
    }
  };
  ql_toc_from_nav();
  check_table();
  ql_toc_from_words();
  check_table();
}

void check_search() {
  const BookWord* words = ql_words();
  const uint64_t n = ql_word_count();
  // The first word (which must find itself), the first two in a row, and a wide query.
  std::string one = words[0].text, two = one;
  if (n > 1) two += std::string(" ") + words[1].text;
  for (const std::string& q : {one, two, std::string("e")}) {
    uint64_t hits[64];
    size_t found = ql_search(q.c_str(), hits, std::size(hits));
    if (found > std::size(hits)) __builtin_trap();
    for (size_t i = 0; i < found; i++)
      if (hits[i] >= n || (i > 0 && hits[i] <= hits[i - 1])) __builtin_trap();
    // A word of soft hyphens alone shows nothing, and nothing typed can find it.
    std::string scratch;
    const bool shows = !strip_soft_hyphens(one, scratch).empty();
    if (q == one && shows && words[0].style != STYLE_PICTURE && (found == 0 || hits[0] != 0))
      __builtin_trap();
  }
}

// Each seed chapter as the fuzzed chapter, the first also inside a whole book, and a navigation
// document whose page list is hidden.
void write_seeds() {
  for (size_t i = 0; i < fuzz::kSeedBodies.size(); i++)
    fuzz::write_seed("chapter" + std::to_string(i),
                     std::string(1, static_cast<char>(Part::chapter)) + fuzz::seed_chapter(fuzz::kSeedBodies[i]));
  fuzz::write_seed("whole", std::string(1, static_cast<char>(Part::whole)) +
                                book_with(Part::chapter, fuzz::seed_chapter(fuzz::kSeedBodies[0])));
  std::string nav = kNav;
  nav.insert(nav.find("</body>"),
             "<nav epub:type=\"page-list\" hidden=\"\"><ol><li><a href=\"text/ch1.xhtml#a\">1</a></li></ol></nav>");
  fuzz::write_seed("nav", std::string(1, static_cast<char>(Part::nav)) + nav);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const std::string path = fuzz::device_root() + "/book.epub";
  const auto part = static_cast<Part>(data[0] % 6);
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (part == Part::whole) fuzz::write_host_file(path, rest.data(), rest.size());
  else {
    std::string book = book_with(part, rest);
    fuzz::write_host_file(path, book.data(), book.size());
  }

  // Each run starts with no book open, as the program does after closing one.
  ql_book_replace(BookModel{});
  ql_toc_clear();
  if (ql_open(path.c_str())) {
    check_book();
    check_contents();
    check_search();
  }
  uint8_t cover[kCoverSide * kCoverSide];
  ql_epub_cover(path.c_str(), cover, kCoverSide, kCoverSide);
  return 0;
}
