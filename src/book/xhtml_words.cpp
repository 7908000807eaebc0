// XHTML documents into words: text runs split at white space, with styles, block breaks, glue
// across inline tags, internal links, anchors, list numbers and pictures. No CSS is read.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "base/html_void.h"
#include "base/utf8.h"
#include "book/epub.h"
#include "book/xml_scan.h"

namespace {
constexpr size_t kLinkHrefSize = 1024;
constexpr size_t kPictureSrcSize = 2048;
constexpr size_t kElementIdSize = 200;
constexpr size_t kPictureTextMax = 4098;  // the mark byte and the member path
constexpr int kListDepthMax = 8;
constexpr size_t kTypeSize = 256;  // "epub:type" and "role" values, each a list of tokens

bool ascii_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A no-break space (U+00A0) at byte `at`: two words still, but a line never ends between them
// ("«" and its word, a number and its unit).
bool is_no_break_space(std::string_view run, size_t at) {
  return static_cast<unsigned char>(run[at]) == 0xC2 && at + 1 < run.size() &&
         static_cast<unsigned char>(run[at + 1]) == 0xA0;
}

// Where the word that starts at byte i ends: at white space or a no-break space.
size_t word_end(std::string_view run, size_t i) {
  while (i < run.size() && !ascii_space(run[i]) && !is_no_break_space(run, i)) i++;
  return i;
}

uint64_t count_words(std::string_view run) {
  uint64_t words = 0;
  for (size_t i = 0; i < run.size();) {
    if (ascii_space(run[i])) {
      i++;
    } else if (is_no_break_space(run, i)) {
      i += 2;
    } else {
      words++;
      i = word_end(run, i);
    }
  }
  return words;
}

bool starts_with_nocase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); i++) {
    if (ascii_lower(s[i]) != prefix[i]) return false;
  }
  return true;
}

// Elements whose start and end begin a new line. Table rows, captions and definition-list terms
// and definitions are among them, so a table reads row by row instead of as one glued word.
bool is_block(std::string_view n) {
  return n == "p" || n == "div" || n == "li" || n == "blockquote" || n == "pre" ||
         n == "table" || n == "tr" || n == "caption" || n == "dl" || n == "dt" || n == "dd";
}

// Table cells: their words never glue to the cell before.
bool is_cell(std::string_view n) { return n == "td" || n == "th"; }

bool is_heading(std::string_view n) { return n.size() == 2 && n[0] == 'h' && n[1] >= '1' && n[1] <= '6'; }

class XhtmlReader {
 public:
  XhtmlReader(BookModel& book, std::string_view doc_path)
      : book_(book), folder_(path_folder(doc_path)) {}

  bool run(const std::string& document) {
    XmlScanner s(document.c_str());
    while (nexttag(s)) {
      if (!take_text(s.text_run())) return false;
      if (!take_tag(s)) return false;
    }
    return true;
  }

 private:
  uint8_t style() const {
    if (heading_ > 0) return STYLE_HEADING;
    if (bold_ > 0) return STYLE_BOLD;
    if (italic_ > 0) return STYLE_ITALIC;
    return STYLE_PLAIN;
  }

  void block_break() {
    if (pending_ != BRK_DOCUMENT) pending_ = BRK_BLOCK;
  }

  // A "<br>" starts a new line of the same block; a second one before any word leaves a blank
  // line, read as the gap between blocks (stanzas are often set apart that way).
  void line_break() {
    if (pending_ == BRK_NONE) pending_ = BRK_LINE;
    else if (pending_ == BRK_LINE) pending_ = BRK_BLOCK;
  }

  bool take_text(std::string_view run) {
    const bool left_out = left_out_depth_ > 0;
    if (run.empty() || !in_body_ || (left_out ? left_out_ignoring_ : ignoring_) > 0) return true;
    std::string decoded;
    if (needs_decode(run)) {
      decoded = decode(run, Nbsp::NoBreak);
      run = decoded;
    }
    if (left_out) return book_.left_out_add(count_words(run));
    size_t n = run.size(), i = 0;
    while (i < n) {
      if (run[i] == '\n' && preformatted_ > 0) {
        // Preformatted text keeps its line breaks: each starts a new line.
        block_break();
        book_.join_words = 0;
        i++;
        continue;
      }
      if (ascii_space(run[i])) {
        book_.join_words = 0;
        book_.tie_words = 0;
        i++;
        continue;
      }
      if (is_no_break_space(run, i)) {
        book_.join_words = 0;
        i += 2;
        continue;
      }
      size_t start = i;
      i = word_end(run, i);
      if (!book_.addword(run.substr(start, i - start), style(), pending_)) return false;
      pending_ = BRK_NONE;
      book_.join_words = 1;
      book_.tie_words = 1;
    }
    return true;
  }

  bool take_tag(const XmlScanner& s) {
    std::string_view n = s.name;
    if (n.empty()) return true;  // comment or CDATA
    bool start = !s.closing;
    if (n == "body") {
      in_body_ = start;
      return true;
    }
    // Recorded before the tag takes effect, so the id of a picture anchors the picture itself;
    // the ids of elements left out still lead to where their text would have been.
    if (start && in_body_) {
      if (auto id = attr(s, "id", kElementIdSize)) book_.anchor_add(*id);
    }
    if (left_out_depth_ > 0) {
      // A paragraph left unclosed ends where the next block starts, as HTML reads it; so the
      // rest of a careless document is not lost with it.
      const bool ends_paragraph = start && left_out_name_ == "p" && (is_block(n) || is_heading(n));
      if (!ends_paragraph) {
        // Only the nesting of the left-out element's own name is followed, to find its end.
        if (n == left_out_name_ && !s.self_closing) left_out_depth_ += start ? 1 : -1;
        return count_left_out(s, start);
      }
      left_out_depth_ = 0;
    }
    if (start && is_left_out(s)) {
      left_out_ignoring_ = ignoring_;
      if (!count_left_out(s, start)) return false;
      // An empty one, or an element that never holds text, has nothing to leave out.
      if (!s.self_closing && !is_html_void(n)) {
        left_out_name_ = n;
        left_out_depth_ = 1;
      }
      return true;
    }
    if (n == "script" || n == "style") {
      count(ignoring_, start, s.self_closing);
    } else if (n == "br") {
      // "<br></br>" is one break: the end tag of a line break breaks nothing more.
      if (start) line_break();
    } else if (is_block(n)) {
      block_break();
      if (start && n == "li") number_item();
      if (n == "pre") count(preformatted_, start, s.self_closing);
    } else if (is_cell(n)) {
      book_.join_words = 0;
      book_.tie_words = 0;
    } else if (is_heading(n)) {
      block_break();
      count(heading_, start, s.self_closing);
    } else if (n == "b" || n == "strong") {
      count(bold_, start, s.self_closing);
    } else if (n == "i" || n == "em") {
      count(italic_, start, s.self_closing);
    } else if (n == "sup") {
      if (!s.self_closing) book_.g_sup = start ? 1 : 0;
    } else if (n == "a") {
      if (!s.self_closing) book_.g_link = start ? link_of(s) : 0;
    } else if (n == "ol" || n == "ul") {
      if (!s.self_closing) start ? open_list(n == "ol") : close_list();
    } else if (start && (n == "img" || n == "image")) {
      if (!picture(s)) return false;
    }
    return true;
  }

  // Nesting counters, so an inner end tag does not switch off an outer element's style. An empty
  // element ("<b/>", and likewise "<a/>", "<sup/>", "<ol/>") encloses nothing and changes nothing.
  static void count(int& depth, bool start, bool self_closing) {
    if (self_closing) return;
    if (start) depth++;
    else if (depth > 0) depth--;
  }

  uint32_t link_of(const XmlScanner& s) {
    auto href = attr(s, "href", kLinkHrefSize);
    if (!href || href->empty() || href->find("://") != std::string::npos ||
        starts_with_nocase(*href, "mailto:"))
      return 0;
    return book_.link_add(*href);
  }

  void open_list(bool ordered) {
    if (depth_ >= kListDepthMax) {
      overflow_++;  // deeper levels are not tracked, and their end tags must not pop ours
      return;
    }
    depth_++;
    counters_[depth_] = ordered ? 0 : -1;
  }

  void close_list() {
    if (overflow_ > 0) overflow_--;
    else if (depth_ > 0) depth_--;
  }

  void number_item() {
    if (depth_ < 1 || counters_[depth_] < 0) return;
    counters_[depth_]++;
    book_.g_num = static_cast<uint32_t>(counters_[depth_]);
  }

  // Elements whose text is not the book's: those marked hidden (an EPUB 3 navigation document
  // in the spine keeps its page list so), and page-break markers, whose text is the number of a
  // printed page.
  static bool is_left_out(const XmlScanner& s) {
    const std::string_view attrs(s.attrs, static_cast<size_t>(s.tag_end - s.attrs));
    // Most tags hold neither word; only those that do have their attributes read.
    const bool may_hide = attrs.find("hidden") != std::string_view::npos;
    const bool may_mark = attrs.find("pagebreak") != std::string_view::npos;
    if (may_hide && has_attr(s, "hidden")) return true;
    if (!may_mark) return false;
    return has_token(attr(s, "epub:type", kTypeSize), "pagebreak") ||
           has_token(attr(s, "role", kTypeSize), "doc-pagebreak");
  }

  static bool has_token(const std::optional<std::string>& list, std::string_view token) {
    if (!list) return false;
    std::string_view rest = *list;
    while (!rest.empty()) {
      const size_t start = std::min(rest.size(), rest.find_first_not_of(" \t\n\r\f"));
      rest.remove_prefix(start);
      const size_t end = std::min(rest.size(), rest.find_first_of(" \t\n\r\f"));
      if (rest.substr(0, end) == token) return true;
      rest.remove_prefix(end);
    }
    return false;
  }

  // Readers before this one kept the words and pictures of left-out elements, and saved word
  // positions counted them. They are counted here as those readers took them (their text in
  // take_text), so such positions can be moved onto the words kept now.
  bool count_left_out(const XmlScanner& s, bool start) {
    const std::string_view n = s.name;
    if (n == "script" || n == "style") count(left_out_ignoring_, start, s.self_closing);
    const bool shown_picture = start && (n == "img" || n == "image") && in_body_ &&
                               left_out_ignoring_ == 0 && !picture_path(s).empty();
    return !shown_picture || book_.left_out_add(1);
  }

  // The member path of the picture an img or image tag shows; empty when it shows none.
  std::string picture_path(const XmlScanner& s) const {
    auto src = attr(s, "src", kPictureSrcSize);
    if (!src) src = attr(s, "xlink:href", kPictureSrcSize);
    if (!src) src = attr(s, "href", kPictureSrcSize);
    if (!src || src->empty() || starts_with_nocase(*src, "data:")) return {};
    return normpath(folder_, *src);
  }

  bool picture(const XmlScanner& s) {
    if (!in_body_ || ignoring_ > 0) return true;
    const std::string path = picture_path(s);
    if (path.empty()) return true;
    std::string text(1, kPictureMark);
    text.append(path, 0, kPictureTextMax - 1);
    // A document that opens with a picture keeps its document start on the picture, so the
    // chapter begins on a new page.
    const uint8_t brk = pending_ == BRK_DOCUMENT ? BRK_DOCUMENT : BRK_BLOCK;
    if (!book_.addword(text, STYLE_PICTURE, brk)) return false;
    book_.join_words = 0;
    pending_ = BRK_BLOCK;
    return true;
  }

  BookModel& book_;
  std::string_view folder_;
  uint8_t pending_ = BRK_DOCUMENT;
  bool in_body_ = false;
  int ignoring_ = 0;  // inside script or style
  int heading_ = 0, bold_ = 0, italic_ = 0;
  int preformatted_ = 0;
  int depth_ = 0, overflow_ = 0;
  std::array<int64_t, kListDepthMax + 1> counters_{};
  // Inside an element left out of the text: its name, how deep it nests in itself, and how deep
  // in script or style the readers that kept its text were.
  std::string left_out_name_;
  int left_out_depth_ = 0;
  int left_out_ignoring_ = 0;
};
}  // namespace

bool xhtml_words(BookModel& book, const std::string& document, std::string_view doc_path) {
  return XhtmlReader(book, doc_path).run(document);
}
