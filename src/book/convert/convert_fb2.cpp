// FictionBook 2 books: the description's metadata and cover, base64 pictures, and the bodies'
// sections, paragraphs and inline styles mapped onto XHTML chapters.
#include <algorithm>

#include "base/utf8.h"
#include "book/convert/convert_model.h"
#include "base/text_decode.h"

namespace {
constexpr size_t kEncodingProbe = 280;
constexpr size_t kSignatureWindow = 4096;
constexpr size_t kMaxPictures = 400;
constexpr size_t kIdMax = 80;
constexpr size_t kFieldMax = 299;
constexpr size_t kNameMax = 80;
constexpr size_t kTagNameMax = 31;
constexpr size_t kSectionChapterMin = 201;  // a top-level section starts a chapter after this many bytes
constexpr size_t kFb2TitleMax = 100;

int base64_value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string base64_decode(std::string_view in) {
  std::string out;
  out.reserve(in.size() / 4 * 3);
  uint32_t acc = 0;
  int bits = 0;
  for (char c : in) {
    int v = base64_value(c);
    if (v < 0) continue;
    acc = (acc << 6 | static_cast<uint32_t>(v)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>(acc >> bits & 0xFF);
    }
  }
  return out;
}

bool is_name_char(char c) { return ascii_alnum(c) || c == ':' || c == '-'; }

std::string strip_hash(std::string s) { return !s.empty() && s[0] == '#' ? s.substr(1) : s; }

void read_pictures(std::string_view text, ConvBook& book) {
  size_t accepted = 0;
  for (size_t at = find_nocase(text, "<binary"); at != std::string_view::npos && accepted < kMaxPictures;
       at = find_nocase(text, "<binary", at + 1)) {
    size_t tag_end = text.find('>', at);
    if (tag_end == std::string_view::npos) break;
    size_t close = find_nocase(text, "</binary", tag_end);
    if (close == std::string_view::npos) break;
    std::string id = attr_of(text.substr(at, tag_end - at), "id", kIdMax).value_or("");
    int index =
        book.pic_add(static_cast<uint32_t>(accepted + 1), base64_decode(text.substr(tag_end + 1, close - tag_end - 1)));
    if (index < 0) continue;
    book.pictures[static_cast<size_t>(index)].id = std::move(id);
    accepted++;
  }
}

struct Tag {
  std::string name;  // lower case, without "<" or "/"
  std::string_view raw;
  bool closing = false;
  bool self_closing = false;
};

struct Walk {
  explicit Walk(ConvBook& b) : book(b) {}
  ConvBook& book;
  std::string* body = nullptr;
  bool in_description = false, in_body = false, in_coverpage = false, in_title = false;
  int depth = 0;
  size_t title_start = 0;
  std::string field;  // the description field being collected
  std::string collected;
  std::string first_name, last_name, cover_id;

  void text(std::string_view t) {
    if (in_body && body) {
      body->append(t);
    } else if (in_description && !field.empty() && collected.size() < kFieldMax) {
      collected.append(t.substr(0, kFieldMax - collected.size()));
    }
  }

  void description_tag(const Tag& t) {
    static constexpr std::string_view kFields[] = {"book-title", "first-name", "last-name", "lang"};
    if (t.name == "coverpage") in_coverpage = !t.closing;
    if (t.name == "image" && in_coverpage && cover_id.empty()) {
      cover_id = strip_hash(attr_of(t.raw, "href", kIdMax).value_or(""));
    }
    if (std::find(std::begin(kFields), std::end(kFields), t.name) == std::end(kFields)) return;
    if (!t.closing) {
      field = t.name;
      collected.clear();
      return;
    }
    if (field != t.name) return;
    std::string value = plain_text(collected, 300);
    auto fill = [&](std::string& target, size_t max) {
      if (target.empty()) target = cut_text(value, max);
    };
    if (field == "book-title") fill(book.title, kConvTitleMax);
    if (field == "first-name") fill(first_name, kNameMax - 1);
    if (field == "last-name") fill(last_name, kNameMax - 1);
    if (field == "lang") fill(book.language, kConvLanguageMax);
    field.clear();
  }

  void open_chapter() { body = &book.chapter_new(""); }

  void body_tag(const Tag& t) {
    std::string& b = *body;
    const std::string& n = t.name;
    const bool open = !t.closing;
    if (n == "section") {
      if (t.self_closing) return;
      if (open) {
        if (depth == 0 && b.size() >= kSectionChapterMin) open_chapter();
        depth++;
      } else if (depth > 0) {
        depth--;
      }
    } else if (n == "title") {
      if (open) {
        b += "<h2>";
        in_title = true;
        title_start = b.size();
      } else {
        ConvChapter& c = book.chapters.back();
        // A section inside the title may have started a new chapter since the title began.
        if (c.title.empty() && in_title && title_start <= b.size())
          c.title = plain_text(std::string_view(b).substr(title_start), kFb2TitleMax + 2);
        b += "</h2>\n";
        in_title = false;
      }
    } else if (n == "p") {
      if (open) {
        if (!in_title) b += "<p>";
      } else {
        b += in_title ? " <br/>" : "</p>\n";
      }
    } else if (n == "subtitle") {
      b += open ? "<h3>" : "</h3>\n";
    } else if (n == "empty-line") {
      b += "<p>&#160;</p>\n";
    } else if (n == "emphasis") {
      b += open ? "<em>" : "</em>";
    } else if (n == "strong") {
      b += open ? "<strong>" : "</strong>";
    } else if (n == "sub" || n == "sup" || n == "code" || n == "table" || n == "tr" || n == "td" || n == "th") {
      b += open ? "<" + n + ">" : "</" + n + ">";
    } else if (n == "strikethrough") {
      b += open ? "<s>" : "</s>";
    } else if (n == "epigraph" || n == "cite" || n == "poem") {
      b += open ? "<blockquote>" : "</blockquote>\n";
    } else if (n == "text-author") {
      b += open ? "<p><i>" : "</i></p>\n";
    } else if (n == "stanza") {
      b += open ? "<p>" : "</p>\n";
    } else if (n == "v") {
      if (!open) b += "<br/>";
    } else if (n == "image" && open) {
      std::string href = strip_hash(attr_of(t.raw, "href", kIdMax).value_or(""));
      for (const ConvImage& p : book.pictures) {
        if (p.id == href) b += "<p><img src=\"" + p.name + "\" alt=\"\"/></p>\n";
      }
    }
  }

  void tag(const Tag& t) {
    if (t.name == "description") {
      in_description = !t.closing;
      return;
    }
    if (in_description) {
      description_tag(t);
      return;
    }
    if (t.name == "body") {
      if (t.closing) {
        in_body = false;
      } else if (!t.self_closing) {
        open_chapter();
        in_body = true;
        depth = 0;
      }
      return;
    }
    if (in_body) body_tag(t);
  }
};

// Walks the tags in order. Comments, processing instructions and declarations are skipped whole;
// CDATA is written as escaped text; an unfinished tag ends the walk with what was read.
void walk(std::string_view text, Walk& w) {
  size_t i = 0;
  while (i < text.size()) {
    size_t lt = text.find('<', i);
    if (lt == std::string_view::npos) {
      w.text(text.substr(i));
      return;
    }
    if (lt > i) w.text(text.substr(i, lt - i));
    std::string_view rest = text.substr(lt);
    if (rest.substr(0, 4) == "<!--") {
      size_t end = text.find("-->", lt + 4);
      if (end == std::string_view::npos) return;
      i = end + 3;
      continue;
    }
    if (rest.substr(0, 9) == "<![CDATA[") {
      size_t end = text.find("]]>", lt + 9);
      if (end == std::string_view::npos) return;
      std::string escaped;
      append_escaped(escaped, text.substr(lt + 9, end - lt - 9));
      w.text(escaped);
      i = end + 3;
      continue;
    }
    if (rest.substr(0, 2) == "<?" || rest.substr(0, 2) == "<!") {
      size_t end = text.find(rest[1] == '?' ? "?>" : ">", lt + 2);
      if (end == std::string_view::npos) return;
      i = end + (rest[1] == '?' ? 2 : 1);
      continue;
    }
    size_t gt = text.find('>', lt);
    if (gt == std::string_view::npos) return;
    Tag t;
    t.raw = text.substr(lt, gt - lt);
    size_t n = lt + 1;
    if (n < gt && text[n] == '/') {
      t.closing = true;
      n++;
    }
    while (n < gt && is_name_char(text[n]) && t.name.size() < kTagNameMax) {
      t.name += ascii_lower(text[n]);
      n++;
    }
    t.self_closing = gt > lt && text[gt - 1] == '/';
    i = gt + 1;
    if (t.name.empty()) {
      // A "<" that starts no tag is text; written escaped so the chapter stays well-formed.
      w.text("&lt;");
      i = lt + 1;
      continue;
    }
    w.tag(t);
    // An empty element written as one tag closes where it opens.
    if (t.self_closing && !t.closing) {
      Tag end = t;
      end.closing = true;
      if (t.name != "section" && t.name != "body" && t.name != "image" && t.name != "empty-line") w.tag(end);
    }
  }
}
}  // namespace

uint32_t fb2_encoding(std::string_view file) {
  std::optional<std::string> enc = attr_of(file.substr(0, kEncodingProbe), "encoding", 40);
  if (!enc) return kEncodingAuto;
  if (enc->find("1251") != std::string::npos) return kCodePage1251;
  if (enc->find("1252") != std::string::npos || enc->find("8859-1") != std::string::npos) return kCodePage1252;
  return kCodePageUtf8;
}

std::optional<std::string> fb2_read(std::string_view file, std::string_view path, ConvBook& book) {
  std::string text;
  to_utf8(text, file, fb2_encoding(file));
  if (text.size() < 12 ||
      find_nocase(std::string_view(text).substr(0, std::min(text.size(), kSignatureWindow)), "<FictionBook") ==
          std::string_view::npos) {
    return std::string("This is not an FB2 book");
  }
  read_pictures(text, book);
  Walk w(book);
  walk(text, w);
  if (!w.cover_id.empty()) {
    for (size_t i = 0; i < book.pictures.size(); i++) {
      if (book.pictures[i].id == w.cover_id) {
        book.cover = static_cast<int>(i);
        break;
      }
    }
  }
  book.author = w.first_name;
  if (!w.first_name.empty() && !w.last_name.empty()) book.author += ' ';
  book.author += w.last_name;
  if (book.title.empty()) book.title = stem_of(path);
  if (book.chapters.empty()) return std::string("This FB2 book has no text");
  return std::nullopt;
}
