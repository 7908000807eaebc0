#include "book/convert/convert_model.h"

#include <cstring>
#include <strings.h>
#include <sys/stat.h>

#include "base/file_kinds.h"
#include "base/paths.h"
#include "base/utf8.h"

namespace {
constexpr size_t kChapterTableStart = 32;

std::optional<std::string_view> picture_extension(std::string_view d) {
  if (d.size() >= 2 && d[0] == '\xFF' && d[1] == '\xD8') return "jpg";
  if (d.size() >= 9 && d.substr(0, 4) == "\x89PNG") return "png";
  if (d.size() >= 7 && d.substr(0, 4) == "GIF8") return "gif";
  if (d.size() >= 2 && d.substr(0, 2) == "BM") return "bmp";
  return std::nullopt;
}

std::string picture_prefix(uint32_t number) {
  char name[24];
  snprintf(name, sizeof name, "img%05u.", number);
  return name;
}

bool is_space_byte(unsigned char c) { return c <= 0x20; }
}  // namespace

std::string& ConvBook::chapter_new(std::string_view title) {
  if (chapters.capacity() == 0) chapters.reserve(kChapterTableStart);
  chapters.push_back(ConvChapter{cut_text(title, kChapterTitleMax), {}});
  return chapters.back().body;
}

int ConvBook::pic_add(uint32_t number, std::string data) {
  std::optional<std::string_view> ext = picture_extension(data);
  if (!ext) return -1;
  pictures.push_back(ConvImage{picture_prefix(number) + std::string(*ext), {}, std::move(data)});
  return static_cast<int>(pictures.size() - 1);
}

const ConvImage* ConvBook::pic_name(uint32_t number) const {
  const std::string prefix = picture_prefix(number);
  for (const ConvImage& p : pictures) {
    if (p.name.compare(0, prefix.size(), prefix) == 0) return &p;
  }
  return nullptr;
}

ConvKind kind_of(std::string_view path) {
  const FileKindRow* row = file_kind_row(path);
  if (!row) return ConvKind::none;
  switch (row->kind) {
    case FileKind::txt: return ConvKind::text;
    case FileKind::fb2: return ConvKind::fb2;
    case FileKind::mobi: return ConvKind::mobi;
    default: return ConvKind::none;
  }
}

std::optional<std::string> slurp_file(const char* path, uint64_t limit) {
  FilePtr f(qlp_fopen(path, "rb"));
  if (!f) return std::nullopt;
  struct stat st;
  if (fstat(fileno(f.get()), &st) != 0 || st.st_size <= 0 || static_cast<uint64_t>(st.st_size) > limit) {
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t got = fread(bytes.data(), 1, bytes.size(), f.get());
  if (got == 0) return std::nullopt;
  bytes.resize(got);  // a file cut while being read gives what was there
  return bytes;
}

std::string stem_of(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return cut_text(name, kConvTitleMax);
}

void utf8_trim(std::string& text) {
  size_t n = text.size();
  size_t back = 0;
  while (back < 4 && back < n && utf8_is_continuation(text[n - 1 - back])) back++;
  if (back == n) {
    if (back > 0) text.clear();
    return;
  }
  auto lead = static_cast<unsigned char>(text[n - 1 - back]);
  size_t need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (lead >= 0x80 && need > back) text.resize(n - 1 - back);
}

std::string cut_text(std::string_view text, size_t max) {
  return std::string(text.substr(0, utf8_prefix_length(text, max)));
}

void append_escaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
}

size_t find_nocase(std::string_view hay, std::string_view needle, size_t from) {
  if (needle.empty() || from > hay.size()) return std::string_view::npos;
  const char first = ascii_lower(needle[0]);
  for (size_t i = from; hay.size() - i >= needle.size(); i++) {
    if (ascii_lower(hay[i]) != first) continue;
    if (strncasecmp(hay.data() + i, needle.data(), needle.size()) == 0) return i;
  }
  return std::string_view::npos;
}

bool starts_nocase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

std::optional<std::string> attr_of(std::string_view tag, std::string_view name, size_t size) {
  for (size_t at = find_nocase(tag, name); at != std::string_view::npos; at = find_nocase(tag, name, at + 1)) {
    if (at > 0 && !strchr(" \t\n:", tag[at - 1])) continue;
    size_t i = at + name.size();
    while (i < tag.size() && tag[i] == ' ') i++;
    if (i >= tag.size() || tag[i] != '=') continue;
    i++;
    while (i < tag.size() && tag[i] == ' ') i++;
    size_t end;
    if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
      const char quote = tag[i++];
      end = tag.find(quote, i);
      if (end == std::string_view::npos) end = tag.size();
    } else {
      end = i;
      while (end < tag.size() && !strchr(" />", tag[end])) end++;
    }
    if (size == 0) return std::string();
    return cut_text(tag.substr(i, end - i), size - 1);
  }
  return std::nullopt;
}

std::string plain_text(std::string_view html, size_t size) {
  std::string out;
  if (size < 2) return out;
  const size_t room = size - 2;
  bool pending_space = false;
  auto put = [&](std::string_view s) {
    if (pending_space && !out.empty()) out += ' ';
    pending_space = false;
    out.append(s);
  };
  static constexpr struct {
    std::string_view entity, text;
  } kEntities[] = {{"&nbsp;", " "}, {"&#160;", " "}, {"&amp;", "&"}, {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}};
  for (size_t i = 0; i < html.size() && out.size() < room;) {
    const auto c = static_cast<unsigned char>(html[i]);
    if (c == '<') {
      size_t end = html.find('>', i);
      i = end == std::string_view::npos ? html.size() : end + 1;
      pending_space = true;
      continue;
    }
    if (is_space_byte(c)) {
      pending_space = true;
      i++;
      continue;
    }
    if (c == '&') {
      bool matched = false;
      for (const auto& e : kEntities) {
        if (html.substr(i, e.entity.size()) == e.entity) {
          if (e.text == " ") {
            pending_space = true;
          } else {
            put(e.text);
          }
          i += e.entity.size();
          matched = true;
          break;
        }
      }
      if (matched) continue;
    }
    put(html.substr(i, 1));
    i++;
  }
  if (out.size() > room) out.resize(room);
  utf8_trim(out);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}
