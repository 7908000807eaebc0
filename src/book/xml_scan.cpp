#include "book/xml_scan.h"

#include <algorithm>
#include <cstring>

#include "base/utf8.h"
#include "book/html_entities.h"

namespace {
constexpr size_t kNumericReach = 15;  // bytes from "&" to ";" for numeric references

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string_view> named_entity(std::string_view name, Nbsp nbsp) {
  if (name == "nbsp" && nbsp == Nbsp::Space) return " ";
  auto table = html_entities();
  auto it = std::lower_bound(table.begin(), table.end(), name,
                             [](const HtmlEntity& e, std::string_view n) { return e.name < n; });
  if (it == table.end() || it->name != name) return std::nullopt;
  return it->text;
}

// The reference between "&" and ";" (body excludes both) appended to out; false when it does
// not decode and the "&" must stay.
bool decode_reference(std::string_view body, Nbsp nbsp, std::string& out) {
  if (body.empty()) return false;
  if (body[0] != '#') {
    auto text = named_entity(body, nbsp);
    if (!text) return false;
    out += *text;
    return true;
  }
  if (body.size() > kNumericReach - 1) return false;
  bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
  std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty()) return false;
  uint64_t value = 0;
  for (char c : digits) {
    int d = hex ? hex_value(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return false;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
  }
  if (value == 0) return false;
  if (value >= 0x110000) return true;                       // dropped
  if (value >= 0xD800 && value <= 0xDFFF) value = 0xFFFD;   // a lone surrogate is not text
  append_utf8(out, static_cast<uint32_t>(value));
  return true;
}
}  // namespace

std::string_view XmlScanner::text_after() const {
  const char* start = tag_end[0] ? tag_end + 1 : tag_end;
  const char* lt = strchr(start, '<');
  return {start, lt ? static_cast<size_t>(lt - start) : strlen(start)};
}

bool nexttag(XmlScanner& s) {
  const char* lt = strchr(s.cursor, '<');
  if (!lt) return false;
  s.text = s.cursor;
  s.text_len = static_cast<size_t>(lt - s.cursor);
  s.name = {};
  s.closing = false;
  s.self_closing = false;
  if (strncmp(lt, "<!--", 4) == 0) {
    const char* end = strstr(lt + 4, "-->");
    s.self_closing = true;
    s.tag_end = end ? end + 2 : lt + strlen(lt);
    s.attrs = s.tag_end;
    s.cursor = end ? end + 3 : s.tag_end;
    return true;
  }
  if (strncmp(lt, "<![CDATA[", 9) == 0) {
    const char* body = lt + 9;
    const char* end = strstr(body, "]]>");
    s.text = body;
    s.text_len = end ? static_cast<size_t>(end - body) : strlen(body);
    s.tag_end = end ? end + 2 : body + s.text_len;
    s.attrs = s.tag_end;
    s.cursor = end ? end + 3 : s.tag_end;
    return true;
  }
  if (lt[1] == 0) return false;
  char quote = 0;
  const char* p = lt + 1;
  for (; *p; p++) {
    if (quote) {
      if (*p == quote) quote = 0;
    } else if (*p == '"' || *p == '\'') {
      quote = *p;
    } else if (*p == '>') {
      break;
    }
  }
  if (!*p) return false;
  s.tag_end = p;
  s.closing = lt[1] == '/';
  s.self_closing = p[-1] == '/' && p - 1 > lt;
  const char* n = lt + 1 + (s.closing ? 1 : 0);
  const char* ne = n;
  while (ne < p && !is_space(*ne) && *ne != '/' && *ne != '>') ne++;
  std::string_view full(n, static_cast<size_t>(ne - n));
  size_t colon = full.rfind(':');
  if (colon != std::string_view::npos) full.remove_prefix(colon + 1);
  s.name = full.substr(0, kTagNameMax);
  s.attrs = ne;
  s.cursor = p + 1;
  return true;
}

namespace {
// Calls visit(name, value) for each attribute of the current tag, in order, until it returns
// true: value is the quoted value, raw, or nothing for a name without one (an unquoted value
// is not read).
template <class Visit>
void each_attr(const XmlScanner& s, Visit&& visit) {
  const char* p = s.attrs;
  const char* end = s.tag_end;
  while (p < end) {
    while (p < end && (is_space(*p) || *p == '/')) p++;
    const char* n = p;
    while (p < end && !is_space(*p) && *p != '=' && *p != '/') p++;
    std::string_view name(n, static_cast<size_t>(p - n));
    while (p < end && is_space(*p)) p++;
    if (p >= end || *p != '=') {
      if (name.empty() && p < end) p++;  // a stray byte: step over it
      if (!name.empty() && visit(name, std::optional<std::string_view>())) return;
      continue;
    }
    p++;
    while (p < end && is_space(*p)) p++;
    if (p < end && (*p == '"' || *p == '\'')) {
      char q = *p++;
      const char* v = p;
      while (p < end && *p != q) p++;
      std::string_view value(v, static_cast<size_t>(p - v));
      if (p < end) p++;
      if (visit(name, std::optional<std::string_view>(value))) return;
    } else {
      while (p < end && !is_space(*p)) p++;  // unquoted values are not read
      if (visit(name, std::optional<std::string_view>())) return;
    }
  }
}
}  // namespace

std::optional<std::string> attr(const XmlScanner& s, std::string_view want, size_t size) {
  std::optional<std::string> out;
  each_attr(s, [&](std::string_view name, std::optional<std::string_view> value) {
    if (name != want || !value) return false;
    out = needs_decode(*value) ? decode(*value) : std::string(*value);
    if (size > 0 && out->size() > size - 1) out->resize(size - 1);
    return true;
  });
  return out;
}

bool has_attr(const XmlScanner& s, std::string_view want) {
  bool found = false;
  each_attr(s, [&](std::string_view name, std::optional<std::string_view>) {
    found = name == want;
    return found;
  });
  return found;
}

std::string decode(std::string_view text, Nbsp nbsp) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t amp = text.find('&', i);
    if (amp == std::string_view::npos) break;
    out.append(text.substr(i, amp - i));
    size_t reach = std::min(text.size(), amp + 2 + std::max(kNumericReach, kHtmlEntityNameMax));
    size_t semi = text.substr(0, reach).find(';', amp + 1);
    if (semi != std::string_view::npos &&
        decode_reference(text.substr(amp + 1, semi - amp - 1), nbsp, out)) {
      i = semi + 1;
    } else {
      out += '&';
      i = amp + 1;
    }
  }
  if (i < text.size()) out.append(text.substr(i));
  return out;
}

std::string normpath(std::string_view base, std::string_view href) {
  href = href.substr(0, href.find_first_of("#?"));
  std::string decoded;
  decoded.reserve(href.size());
  for (size_t i = 0; i < href.size() && decoded.size() < kPathMax; i++) {
    int hi, lo;
    if (href[i] == '%' && i + 2 < href.size() && (hi = hex_value(href[i + 1])) >= 0 &&
        (lo = hex_value(href[i + 2])) >= 0) {
      decoded += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      decoded += href[i];
    }
  }
  std::string joined;
  joined.reserve(base.size() + decoded.size() + 1);
  joined.append(base).append("/").append(decoded);
  std::string_view segs[kPathSegmentsMax];
  size_t n = 0;
  std::string_view rest(joined);
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string_view seg = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
    if (seg.empty() || seg == ".") continue;
    if (seg == "..") {
      if (n > 0) n--;
    } else if (n < kPathSegmentsMax) {
      segs[n++] = seg;
    }
  }
  std::string out;
  for (size_t i = 0; i < n; i++) {
    if (i) out += '/';
    out.append(segs[i]);
  }
  return out;
}

std::string_view path_folder(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}
