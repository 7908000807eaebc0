// One HTML part of a MOBI book made into a chapter: the body's inner markup without the
// Kindle-only tags, a title from its first heading, picture references pointing at the files.

#include "base/utf8.h"
#include "book/convert/convert_mobi.h"

namespace {
constexpr size_t kTextProbe = 4000;    // a part with no text this early and no picture is empty
constexpr size_t kTitleProbe = 3000;
constexpr size_t kPartTitleMax = 100;
constexpr size_t kLooseTitleMax = 80;

// The markup without the tags a reader has no use for; head, guide and style go with their content.
std::string clean_markup(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  size_t i = 0;
  while (i < html.size()) {
    size_t lt = html.find('<', i);
    if (lt == std::string_view::npos) lt = html.size();
    out.append(html.substr(i, lt - i));
    if (lt >= html.size()) break;
    std::string_view rest = html.substr(lt);
    bool dropped = false;
    for (std::string_view element : {"<head", "<guide", "<style"}) {
      if (!starts_nocase(rest, element)) continue;
      const std::string end_tag = "</" + std::string(element.substr(1));
      size_t close = find_nocase(html, end_tag, lt);
      size_t gt = close == std::string_view::npos ? std::string_view::npos : html.find('>', close);
      i = gt == std::string_view::npos ? html.size() : gt + 1;
      dropped = true;
      break;
    }
    if (dropped) continue;
    for (std::string_view tag : {"<mbp:", "</mbp:", "<html", "</html", "<?xml", "<!DOC"}) {
      if (!starts_nocase(rest, tag)) continue;
      size_t gt = html.find('>', lt);
      i = gt == std::string_view::npos ? html.size() : gt + 1;
      dropped = true;
      break;
    }
    if (dropped) continue;
    out += '<';
    i = lt + 1;
  }
  return out;
}

bool has_text_before(std::string_view html, size_t limit) {
  std::string text = plain_text(html.substr(0, limit), limit + 2);
  return !text.empty();
}

std::string part_title(std::string_view html) {
  for (size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at + 1)) {
    if (html.size() - at < 4 || ascii_lower(html[at + 1]) != 'h') continue;
    const char level = html[at + 2];
    if (level < '1' || level > '3' || (html[at + 3] != '>' && html[at + 3] != ' ')) continue;
    size_t open_end = html.find('>', at);
    const std::string end_tag = std::string("</h") + level;
    size_t close = open_end == std::string_view::npos ? open_end : find_nocase(html, end_tag, open_end);
    if (close == std::string_view::npos) break;
    return plain_text(html.substr(open_end + 1, close - open_end - 1), kPartTitleMax + 2);
  }
  std::string_view head = html.substr(0, kTitleProbe);
  size_t end = head.size();
  for (std::string_view mark : {"</p", "</div", "<br", "</h", "</center"}) {
    end = std::min(end, find_nocase(head, mark));
  }
  if (end == head.size()) return {};
  std::string title = plain_text(head.substr(0, end), kTitleProbe + 2);
  return title.size() <= kLooseTitleMax ? title : std::string();
}

bool is_base32(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'V'); }
bool ends_reference(char c) { return c == ' ' || c == '"' || c == '\'' || c == ')' || c == '>'; }

// "recindex=" only where an attribute can begin, so text or other attributes that end in the
// same letters are left alone.
bool at_attribute_start(std::string_view s, size_t at) {
  return at > 0 && (s[at - 1] == ' ' || s[at - 1] == '\t' || s[at - 1] == '\n' || s[at - 1] == '\r');
}

void copy_old_references(const ConvBook& book, std::string_view s, std::string& out) {
  size_t i = 0;
  for (size_t at = find_nocase(s, "recindex="); at != std::string_view::npos;
       at = find_nocase(s, "recindex=", at + 1)) {
    if (at < i || !at_attribute_start(s, at)) continue;
    size_t p = at + 9;
    const bool quoted = p < s.size() && (s[p] == '"' || s[p] == '\'');
    if (quoted) p++;
    uint64_t number = 0;
    size_t digits = p;
    while (digits < s.size() && ascii_digit(s[digits]) && digits - p < 9) {
      number = number * 10 + static_cast<uint64_t>(s[digits] - '0');
      digits++;
    }
    if (quoted && digits < s.size() && (s[digits] == '"' || s[digits] == '\'')) digits++;
    out.append(s.substr(i, at - i));
    const ConvImage* pic = book.pic_name(static_cast<uint32_t>(number));
    out += "src=\"";
    if (pic) out += pic->name;
    out += '"';
    i = digits;
  }
  out.append(s.substr(i));
}

void copy_kf8_references(const ConvBook& book, std::string_view s, std::string& out) {
  size_t i = 0;
  for (size_t at = s.find("kindle:"); at != std::string_view::npos; at = s.find("kindle:", at + 1)) {
    if (at < i) continue;
    std::string_view rest = s.substr(at);
    std::string replacement;
    if (rest.substr(0, 13) == "kindle:embed:") {
      uint32_t number = 0;
      for (size_t k = 13; k < rest.size() && is_base32(rest[k]) && k < 13 + 6; k++) {
        number = number * 32 + static_cast<uint32_t>(rest[k] <= '9' ? rest[k] - '0' : rest[k] - 'A' + 10);
      }
      if (const ConvImage* pic = book.pic_name(number)) replacement = pic->name;
    } else if (rest.substr(0, 11) == "kindle:pos:") {
      replacement = "#";
    } else if (rest.substr(0, 12) != "kindle:flow:") {
      continue;
    }
    size_t end = at;
    while (end < s.size() && !ends_reference(s[end])) end++;
    out.append(s.substr(i, at - i));
    out += replacement;
    i = end;
  }
  out.append(s.substr(i));
}
}  // namespace

void add_part(ConvBook& book, std::string_view html, bool kf8) {
  size_t body = find_nocase(html, "<body");
  if (body != std::string_view::npos) {
    size_t gt = html.find('>', body);
    html = gt == std::string_view::npos ? std::string_view() : html.substr(gt + 1);
  }
  size_t body_end = find_nocase(html, "</body");
  if (body_end != std::string_view::npos) html = html.substr(0, body_end);
  const std::string clean = clean_markup(html);
  if (!has_text_before(clean, kTextProbe) && find_nocase(clean, "<img") == std::string::npos) return;
  std::string& out = book.chapter_new(part_title(clean));
  if (kf8) {
    copy_kf8_references(book, clean, out);
  } else {
    copy_old_references(book, clean, out);
  }
}
