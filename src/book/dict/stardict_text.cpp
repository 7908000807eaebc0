#include "book/dict/stardict_text.h"

#include <array>
#include <cstdint>

#include "base/byte_reader.h"
#include "base/utf8.h"
#include "book/xml_scan.h"

namespace {
// Tags that start or end a block of their own, so their text keeps its own lines.
constexpr std::array<std::string_view, 14> kBlockTags = {
    "p", "div", "li", "tr", "blockquote", "dd", "dt", "h1", "h2", "h3", "h4", "h5", "h6", "def"};

bool is_markup_type(char type) { return type == 'g' || type == 'h' || type == 'x' || type == 'k'; }
bool is_binary_type(char type) { return type >= 'A' && type <= 'Z'; }

void end_line(std::string& out) {
  if (!out.empty() && out.back() != '\n') out += '\n';
}

// The tag's name in lower case, without a leading "/" and its attributes.
std::string tag_name(std::string_view tag) {
  size_t at = tag.starts_with('/') ? 1 : 0;
  std::string name;
  while (at < tag.size() && (ascii_alnum(tag[at]) || tag[at] == '-')) {
    name += ascii_lower(tag[at++]);
  }
  return name;
}

void add_field(std::string& out, char type, std::string_view field) {
  if (is_binary_type(type) || type == 'r') return;
  std::string converted;
  std::string_view marked = field;
  if (is_markup_type(type)) marked = converted = markup_to_text(field);
  // Line ends of every system, and stray NULs, become one line feed; the runs between them are
  // copied whole.
  std::string text;
  text.reserve(marked.size());
  for (size_t i = 0; i < marked.size();) {
    size_t stop = i;
    while (stop < marked.size() && marked[stop] != '\r' && marked[stop] != '\0') ++stop;
    text.append(marked.substr(i, stop - i));
    if (stop < marked.size() && !marked.substr(stop).starts_with("\r\n")) text += '\n';
    i = stop + 1;
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (text.empty()) return;
  end_line(out);
  out += text;
}

// One field starting at `at` of the given type; `last` fields of a type sequence run to the end.
// Moves `at` past it; false when it is cut short (what it holds is still given).
bool take_field(std::string_view data, size_t& at, char type, bool last, std::string& out) {
  if (last) {
    add_field(out, type, data.substr(at));
    at = data.size();
    return true;
  }
  if (is_binary_type(type)) {
    ByteReader field = ByteReader(data).from(at);
    field.skip(field.u32be());
    if (field.failed()) return false;
    at += field.pos();
    return true;
  }
  const size_t nul = data.find('\0', at);
  add_field(out, type, data.substr(at, nul == std::string_view::npos ? std::string_view::npos : nul - at));
  if (nul == std::string_view::npos) return false;
  at = nul + 1;
  return true;
}
}  // namespace

std::string markup_to_text(std::string_view markup) {
  std::string out;
  size_t at = 0;
  while (at < markup.size()) {
    const size_t open = markup.find('<', at);
    const std::string_view run =
        markup.substr(at, open == std::string_view::npos ? std::string_view::npos : open - at);
    out += needs_decode(run) ? decode(run) : std::string(run);
    if (open == std::string_view::npos) break;
    const size_t close = markup.find('>', open);
    if (close == std::string_view::npos) break;
    const std::string_view tag = markup.substr(open + 1, close - open - 1);
    const std::string name = tag_name(tag);
    at = close + 1;
    if ((name == "style" || name == "script") && !tag.starts_with('/')) {
      // Their content is code for a browser, not text; it ends at the closing tag.
      size_t end = markup.find("</", at);
      while (end != std::string_view::npos && tag_name(markup.substr(end + 1, name.size() + 2)) != name) {
        end = markup.find("</", end + 2);
      }
      if (end == std::string_view::npos) break;
      at = end;
      continue;
    }
    if (name == "br") {
      out += '\n';
    } else {
      for (std::string_view block : kBlockTags) {
        if (name == block) end_line(out);
      }
    }
  }
  return out;
}

std::string stardict_definition_text(std::string_view data, std::string_view type_sequence) {
  std::string out;
  size_t at = 0;
  if (!type_sequence.empty()) {
    for (size_t i = 0; i < type_sequence.size() && at <= data.size(); ++i) {
      if (!take_field(data, at, type_sequence[i], i + 1 == type_sequence.size(), out)) break;
    }
    return out;
  }
  while (at < data.size()) {
    const char type = data[at++];
    if (!take_field(data, at, type, false, out)) break;
  }
  return out;
}
