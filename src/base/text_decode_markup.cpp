// Finding the encoding an XML or XHTML document states for itself. Only what a document says (or
// its byte-order mark) is believed: undeclared documents stay as they are, read as UTF-8.
#include <array>
#include <optional>

#include "base/utf8.h"
#include "base/text_decode.h"

namespace {
constexpr size_t kDeclarationMax = 1024;  // where the XML declaration must have ended
constexpr size_t kHeadScanMax = 4096;     // where a meta charset must have started
constexpr size_t kLabelMax = 40;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeDeclaration{"<\0?\0x\0m\0l\0", 10};
constexpr std::string_view kUtf16BeDeclaration{"\0<\0?\0x\0m\0l", 10};

// Labels read as Windows-1252: it is a superset of Latin-1's printable characters, and files
// labelled Latin-1 or ASCII mostly carry its quotes and dashes in 0x80-0x9F.
constexpr std::array<std::string_view, 16> kLabels1252 = {
    "iso-8859-1", "iso8859-1", "iso_8859-1", "iso_8859-1:1987", "latin1",   "latin-1",
    "l1",         "cp819",     "ibm819",     "csisolatin1",     "windows-1252", "cp1252",
    "x-cp1252",   "us-ascii",  "ascii",      "ansi_x3.4-1968",
};
constexpr std::array<std::string_view, 3> kLabels1251 = {"windows-1251", "cp1251", "x-cp1251"};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

template <size_t N>
bool is_one_of(std::string_view label, const std::array<std::string_view, N>& labels) {
  for (std::string_view l : labels) {
    if (label == l) return true;
  }
  return false;
}

std::optional<uint32_t> code_page_for(std::string_view label) {
  if (label.size() > kLabelMax) return std::nullopt;
  std::string l = ascii_lower(label);
  if (is_one_of(l, kLabels1252)) return kCodePage1252;
  if (is_one_of(l, kLabels1251)) return kCodePage1251;
  return std::nullopt;
}

// The value after "name" at pos in text: optional spaces, "=", optional spaces, then a quoted
// value, or (unquoted, as in a content type) a run up to a space, ";", "/", ">" or a quote.
std::optional<std::string_view> value_after(std::string_view text, size_t pos) {
  while (pos < text.size() && is_space(text[pos])) pos++;
  if (pos >= text.size() || text[pos] != '=') return std::nullopt;
  pos++;
  while (pos < text.size() && is_space(text[pos])) pos++;
  if (pos >= text.size()) return std::nullopt;
  if (text[pos] == '"' || text[pos] == '\'') {
    size_t end = text.find(text[pos], pos + 1);
    if (end == std::string_view::npos) return std::nullopt;
    return text.substr(pos + 1, end - pos - 1);
  }
  size_t end = text.find_first_of(" \t\r\n;/>\"'", pos);
  return text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
}

// The encoding named by an XML declaration at the start of the document.
std::optional<std::string_view> declared_in_xml(std::string_view doc) {
  size_t start = 0;
  while (start < doc.size() && start < kDeclarationMax && is_space(doc[start])) start++;
  if (doc.substr(start, 5) != "<?xml") return std::nullopt;
  size_t end = doc.substr(0, kDeclarationMax).find("?>", start);
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view decl = doc.substr(start, end - start);
  size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return std::nullopt;
  return value_after(decl, at + 8);
}

// The charset named by a meta element near the start of an XHTML document, either as its own
// attribute or inside an http-equiv content type ("text/html; charset=...").
std::optional<std::string> declared_in_meta(std::string_view doc) {
  std::string head = ascii_lower(doc.substr(0, kHeadScanMax));
  std::string_view h = head;
  for (size_t at = h.find("<meta"); at != std::string_view::npos; at = h.find("<meta", at + 5)) {
    size_t end = h.find('>', at);
    std::string_view tag = h.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    size_t cs = tag.find("charset");
    if (cs == std::string_view::npos) continue;
    if (auto value = value_after(tag, cs + 7)) return std::string(*value);
  }
  return std::nullopt;
}

std::string decoded(std::string_view bytes, uint32_t encoding) {
  std::string out;
  to_utf8(out, bytes, encoding);
  return out;
}
}  // namespace

std::string document_to_utf8(std::string bytes, bool is_html) {
  std::string_view doc = bytes;
  if (doc.substr(0, 3) == kUtf8Mark) return bytes.erase(0, kUtf8Mark.size());
  if (doc.substr(0, 2) == "\xFE\xFF" || doc.substr(0, 2) == "\xFF\xFE") return decoded(doc, kEncodingAuto);
  bool le = doc.substr(0, kUtf16LeDeclaration.size()) == kUtf16LeDeclaration;
  if (le || doc.substr(0, kUtf16BeDeclaration.size()) == kUtf16BeDeclaration) {
    std::string out;
    utf16_to_utf8(out, doc, !le);
    return out;
  }
  std::optional<uint32_t> code_page;
  if (std::optional<std::string_view> label = declared_in_xml(doc)) {
    code_page = code_page_for(*label);
  } else if (is_html) {
    if (std::optional<std::string> label = declared_in_meta(doc)) code_page = code_page_for(*label);
  }
  // Well-formed UTF-8 under a single-byte label is a file re-encoded without updating its label;
  // genuine Latin or Cyrillic text almost never forms valid multi-byte sequences.
  if (!code_page || is_well_formed_utf8(doc)) return bytes;
  return decoded(doc, *code_page);
}
