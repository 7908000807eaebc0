// The EPUB 2 file a converted book becomes: package, navigation map, one XHTML document per
// chapter and the pictures, as a ZIP of stored members.
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "base/atomic_file.h"
#include "base/html_void.h"
#include "base/utf8.h"
#include "base/paths.h"
#include "book/convert/convert_model.h"
#include "base/zip_writer.h"

namespace {
constexpr std::string_view kContainer =
    "<?xml version=\"1.0\"?><container version=\"1.0\" "
    "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile "
    "full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/></rootfiles></container>";
constexpr std::string_view kIdentifier = "corvell-nalo-converted";
constexpr size_t kFixedMembers = 4;  // mimetype, container, package, navigation
// The EPUB reader takes members of at most 16 MiB; chapters are kept well below that so that a
// chapter of long multi-byte text or of many small tags still reads back whole.
constexpr size_t kChapterSplitBytes = 4 << 20;

std::string chapter_name(size_t i) {
  char name[32];
  snprintf(name, sizeof name, "c%05zu.xhtml", i);
  return name;
}

// A piece that finds no place to be cut within the split size may grow up to this, still well
// inside what the EPUB reader takes for one member.
constexpr size_t kChapterPieceMax = 12 << 20;

bool is_block_name(std::string_view n) {
  return n == "p" || n == "div" || n == "li" || n == "blockquote" || n == "pre" || n == "table" ||
         n == "dd" || n == "dt" || (n.size() == 2 && n[0] == 'h' && n[1] >= '1' && n[1] <= '6');
}

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Whether byte `at` lies inside a tag: a "<" comes before it with no ">" in between (text is
// escaped, so "<" and ">" appear only in markup).
bool inside_tag(std::string_view body, size_t at) {
  const size_t open = body.rfind('<', at);
  if (open == std::string_view::npos) return false;
  const size_t close = body.rfind('>', at);
  return close == std::string_view::npos || close < open;
}

// Just past the last end tag of a block (a paragraph, a list item...) that ends inside `window`,
// or 0.
size_t last_block_end(std::string_view window) {
  for (size_t at = window.rfind("</"); at != std::string_view::npos && at > 0;
       at = window.rfind("</", at - 1)) {
    const size_t close = window.find('>', at);
    if (close != std::string_view::npos && is_block_name(window.substr(at + 2, close - at - 2))) {
      return close + 1;
    }
  }
  return 0;
}

// Just past the last white space outside a tag inside `window`, or 0.
size_t last_space(std::string_view window) {
  size_t at = window.size();
  while (at > 0) {
    size_t space = at;
    while (space > 0 && !is_space(window[space - 1])) space--;
    if (space == 0) return 0;
    if (!inside_tag(window, space - 1)) return space;
    at = window.rfind('<', space - 1);  // go on before the tag that holds this space
    if (at == std::string_view::npos) return 0;
  }
  return 0;
}

// The first block end, else the first white space outside a tag, at or after `from` and within
// `window`; 0 when there is none.
size_t first_cut_after(std::string_view window, size_t from) {
  for (size_t at = window.find("</", from); at != std::string_view::npos; at = window.find("</", at + 2)) {
    const size_t close = window.find('>', at);
    if (close == std::string_view::npos) break;
    if (is_block_name(window.substr(at + 2, close - at - 2))) return close + 1;
  }
  for (size_t at = from; at < window.size(); at++) {
    if (is_space(window[at]) && !inside_tag(window, at)) return at + 1;
  }
  return 0;
}

// Where a chapter body longer than the limit is cut so that both pieces read as the whole did:
// after the last block that ends before the limit, else after the last space there; a piece
// never ends inside a word or a tag (the next piece starts a new document, and words never
// join across documents). Only text without either for megabytes is cut elsewhere: at the first
// block end or space past the limit, else before a tag, else between characters.
size_t split_point(std::string_view body, size_t limit) {
  const std::string_view head = body.substr(0, limit);
  if (const size_t at = last_block_end(head)) return at;
  if (const size_t at = last_space(head)) return at;
  if (const size_t at = first_cut_after(body.substr(0, kChapterPieceMax), limit)) return at;
  const size_t tag = head.rfind('<');
  if (tag != std::string_view::npos && tag > 0) return tag;
  size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(body[n]) & 0xC0) == 0x80) n--;
  return n > 0 ? n : limit;
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && starts_nocase(a, b);
}

// The elements open at a point of a chapter body, so that a piece cut there can close them and
// the next piece open them again: the next piece is a document of its own, and its paragraph or
// italics go on as they were.
class OpenElements {
 public:
  // Follows the start and end tags of the next stretch of the body.
  void follow(std::string_view markup) {
    for (size_t lt = markup.find('<'); lt != std::string_view::npos; lt = markup.find('<', lt + 1)) {
      const std::string_view rest = markup.substr(lt);
      if (rest.starts_with("<!--")) {
        const size_t end = rest.find("-->");
        if (end == std::string_view::npos) return;
        lt += end;
        continue;
      }
      const size_t gt = rest.find('>');
      if (gt == std::string_view::npos) return;
      const std::string_view tag = rest.substr(0, gt + 1);
      lt += gt;
      if (tag.size() < 3 || tag[1] == '!' || tag[1] == '?') continue;
      const bool closing = tag[1] == '/';
      const std::string_view name = name_of(tag.substr(closing ? 2 : 1));
      if (name.empty()) continue;
      if (closing) {
        close(name);
      } else if (tag[tag.size() - 2] != '/' && !is_html_void(name)) {
        // A paragraph start inside a paragraph ends it, as HTML reads it.
        if (!tags_.empty() && same_name(name, "p") && same_name(tags_.back().name, "p")) tags_.pop_back();
        if (tags_.size() < kMaxOpen) tags_.push_back({tag, name});
      }
    }
  }
  // The end tags of the open elements, innermost first.
  std::string end_tags() const {
    std::string out;
    for (auto it = tags_.rbegin(); it != tags_.rend(); ++it) out.append("</").append(it->name).append(">");
    return out;
  }
  // Their start tags as written, outermost first.
  std::string start_tags() const {
    std::string out;
    for (const Open& open : tags_) out.append(open.tag);
    return out;
  }

 private:
  static constexpr size_t kMaxOpen = 256;
  struct Open {
    std::string_view tag;
    std::string_view name;
  };
  static std::string_view name_of(std::string_view after_lt) {
    size_t n = 0;
    while (n < after_lt.size() && (ascii_alnum(after_lt[n]) || after_lt[n] == ':' ||
                                   after_lt[n] == '-' || after_lt[n] == '_')) {
      n++;
    }
    return after_lt.substr(0, n);
  }
  // An end tag closes the innermost element of its name and those inside it; one that matches
  // nothing open is left alone.
  void close(std::string_view name) {
    for (size_t i = tags_.size(); i-- > 0;) {
      if (same_name(tags_[i].name, name)) {
        tags_.resize(i);
        return;
      }
    }
  }
  std::vector<Open> tags_;
};

// One stretch of a chapter body as written, with the start tags of the elements open where it
// begins and the end tags of those open where it ends, so that it stands alone as XHTML.
struct OutPiece {
  std::string reopen;
  std::string_view body;  // a view into the book's chapter
  std::string close;
  size_t size() const { return reopen.size() + body.size() + close.size(); }
};

struct OutChapter {
  std::string_view title;
  std::vector<OutPiece> pieces;
  size_t size = 0;
};

// The chapters as they are written: long ones split at paragraph boundaries, and when the
// archive would pass its member count, neighbours merged (up to the split size) until it fits.
// Nothing when even merged they cannot fit.
std::optional<std::vector<OutChapter>> chapters_to_write(const ConvBook& book) {
  std::vector<OutChapter> out;
  for (const ConvChapter& c : book.chapters) {
    std::string_view body = c.body;
    std::string_view title = c.title;
    OpenElements open;
    std::string reopen;
    while (body.size() > kChapterSplitBytes) {
      const size_t cut = split_point(body, kChapterSplitBytes);
      open.follow(body.substr(0, cut));
      OutPiece piece{std::move(reopen), body.substr(0, cut), open.end_tags()};
      reopen = open.start_tags();
      const size_t size = piece.size();
      out.push_back(OutChapter{title, {}, size});
      out.back().pieces.push_back(std::move(piece));
      body.remove_prefix(cut);
      title = {};
    }
    OutPiece last{std::move(reopen), body, {}};
    const size_t size = last.size();
    out.push_back(OutChapter{title, {}, size});
    out.back().pieces.push_back(std::move(last));
  }
  if (book.pictures.size() + kFixedMembers > kZipMaxEntries) return std::nullopt;
  const size_t room = kZipMaxEntries - kFixedMembers - book.pictures.size();
  if (out.size() <= room) return out;
  std::vector<OutChapter> merged;
  for (OutChapter& c : out) {
    if (!merged.empty() && merged.back().size + c.size <= kChapterSplitBytes) {
      OutChapter& into = merged.back();
      if (into.title.empty()) into.title = c.title;
      std::move(c.pieces.begin(), c.pieces.end(), std::back_inserter(into.pieces));
      into.size += c.size;
    } else {
      merged.push_back(std::move(c));
    }
  }
  if (merged.size() > room) return std::nullopt;
  return merged;
}

void open_tag(std::string& s, std::string_view tag, std::string_view text) {
  s += '<';
  s += tag;
  s += '>';
  append_escaped(s, text);
  s += "</";
  s += tag;
  s += '>';
}

std::string package_document(const ConvBook& book, size_t chapters) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><package xmlns=\"http://www.idpf.org/2007/opf\" "
      "version=\"2.0\" unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
      "<dc:identifier id=\"id\">";
  s += kIdentifier;
  s += "</dc:identifier>";
  open_tag(s, "dc:title", book.title);
  if (!book.author.empty()) open_tag(s, "dc:creator", book.author);
  open_tag(s, "dc:language", book.language.empty() ? "en" : book.language);
  if (book.cover >= 0) s += "<meta name=\"cover\" content=\"cover-image\"/>";
  s += "</metadata><manifest><item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>";
  for (size_t i = 0; i < chapters; i++) {
    s += "<item id=\"c" + std::to_string(i) + "\" href=\"" + chapter_name(i) +
         "\" media-type=\"application/xhtml+xml\"/>";
  }
  for (size_t i = 0; i < book.pictures.size(); i++) {
    const std::string& name = book.pictures[i].name;
    std::string ext = name.substr(name.rfind('.') + 1);
    if (ext == "jpg") ext = "jpeg";
    const std::string id = static_cast<int>(i) == book.cover ? "cover-image" : name;
    s += "<item id=\"" + id + "\" href=\"" + name + "\" media-type=\"image/" + ext + "\"/>";
  }
  s += "</manifest><spine toc=\"ncx\">";
  for (size_t i = 0; i < chapters; i++) s += "<itemref idref=\"c" + std::to_string(i) + "\"/>";
  s += "</spine></package>";
  return s;
}

std::string navigation_document(const ConvBook& book, const std::vector<OutChapter>& chapters) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" "
      "version=\"2005-1\"><head><meta name=\"dtb:uid\" content=\"";
  s += kIdentifier;
  s += "\"/></head><docTitle><text>";
  append_escaped(s, book.title);
  s += "</text></docTitle><navMap>";
  size_t order = 0;
  for (size_t i = 0; i < chapters.size(); i++) {
    if (chapters[i].title.empty()) continue;
    order++;
    s += "<navPoint id=\"n" + std::to_string(order) + "\" playOrder=\"" + std::to_string(order) +
         "\"><navLabel><text>";
    append_escaped(s, chapters[i].title);
    s += "</text></navLabel><content src=\"" + chapter_name(i) + "\"/></navPoint>";
  }
  s += "</navMap></ncx>";
  return s;
}

std::string chapter_document(const ConvBook& book, const OutChapter& chapter) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>";
  append_escaped(s, book.title);
  s += "</title></head><body>";
  for (const OutPiece& piece : chapter.pieces) s.append(piece.reopen).append(piece.body).append(piece.close);
  s += "</body></html>";
  return s;
}

bool write_members(const ConvBook& book, const std::vector<OutChapter>& chapters, FILE* f) {
  ZipWriter zip(f);
  zip.add("mimetype", "application/epub+zip");
  zip.add("META-INF/container.xml", kContainer);
  zip.add("OEBPS/content.opf", package_document(book, chapters.size()));
  zip.add("OEBPS/toc.ncx", navigation_document(book, chapters));
  for (size_t i = 0; i < chapters.size() && !zip.failed(); i++) {
    zip.add("OEBPS/" + chapter_name(i), chapter_document(book, chapters[i]));
  }
  for (const ConvImage& p : book.pictures) zip.add("OEBPS/" + p.name, p.data);
  return zip.finish();
}
}  // namespace

bool epub_write(const ConvBook& book, const std::string& path) {
  std::optional<std::vector<OutChapter>> chapters = chapters_to_write(book);
  if (!chapters) return false;
  const std::string part = path + ".part";
  FILE* f = file_create_new(part.c_str());
  if (!f) return false;
  if (!write_members(book, *chapters, f)) {
    fclose(f);
    qlp_remove(part.c_str());
    return false;
  }
  // Flushed, synced and renamed over the old file, so a crash leaves a whole book or none.
  if (!file_commit(f, part.c_str(), path.c_str())) {
    qlp_remove(part.c_str());
    return false;
  }
  return true;
}
