#include "book/epub.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "base/ql_error.h"
#include "base/utf8.h"
#include "base/text_decode.h"
#include "book/xml_scan.h"

namespace {
constexpr size_t kFullPathSize = 4096;
constexpr size_t kHrefSize = 2048;
constexpr size_t kMediaTypeSize = 128;
constexpr size_t kPropertiesSize = 128;
constexpr size_t kIdSize = 256;
constexpr size_t kLinearSize = 32;

constexpr const char* kUnresolvedItem = "Unresolved or unsupported spine item";
constexpr const char* kMissingItem = "Missing or unsupported spine item";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

// At most max bytes, never ending inside a UTF-8 sequence.
std::string cut_utf8(std::string_view s, size_t max) {
  return std::string(s.substr(0, utf8_prefix_length(s, max)));
}

// A member as document text for the readers: always UTF-8, whatever encoding the document
// declares or marks for itself (is_html: an XHTML document, which may name it in a meta).
std::optional<std::string> extract_document(const ZipArchive& zip, std::string_view path, bool is_html) {
  std::optional<std::string> bytes = zipextract(zip, path);
  if (bytes) *bytes = document_to_utf8(std::move(*bytes), is_html);
  return bytes;
}

std::string element_text(const XmlScanner& s) {
  std::string_view raw = s.text_after();
  return needs_decode(raw) ? decode(raw) : std::string(raw);
}

// Manifest items that can be read as text: id to href.
using Manifest = std::unordered_map<std::string, std::string>;

void read_manifest(BookModel& book, const ZipArchive& zip, const OpfDocument& opf, Manifest& items) {
  std::string_view folder = path_folder(opf.path);
  XmlScanner s(opf.text.c_str());
  while (nexttag(s)) {
    if (s.closing || s.name != "item") continue;
    auto href = attr(s, "href", kHrefSize);
    auto type = attr(s, "media-type", kMediaTypeSize);
    if (!href || !type) continue;
    auto props = attr(s, "properties", kPropertiesSize);
    bool nav = props && props->find("nav") != std::string::npos && !(book.toc_is_nav && !book.toc_xml.empty());
    bool ncx = *type == "application/x-dtbncx+xml" && book.toc_xml.empty();
    if (nav || ncx) {
      std::string path = normpath(folder, *href);
      if (auto doc = extract_document(zip, path, nav)) {
        book.toc_xml = std::move(*doc);
        book.toc_is_nav = nav ? 1 : 0;
        book.toc_base = std::string(path_folder(path));
      }
    }
    if (*type != "application/xhtml+xml" && *type != "text/html") continue;
    auto id = attr(s, "id", kIdSize);
    if (id) items.emplace(std::move(*id), std::move(*href));
  }
}

void reset_parser(BookModel& book) {
  book.join_words = book.tie_words = book.g_link = book.g_sup = book.g_num = 0;
}

// Walks the spine. A document that cannot be found or read is skipped (and logged); the book
// fails only when no document is left, with the reason of the first one skipped.
bool read_spine(BookModel& book, const ZipArchive& zip, const OpfDocument& opf, const Manifest& items) {
  std::string_view folder = path_folder(opf.path);
  const char* first_skip = nullptr;
  auto skip = [&first_skip](const char* reason, std::string_view what) {
    fprintf(stderr, "quillo: %s: %.*s\n", reason, static_cast<int>(std::min<size_t>(what.size(), 200)), what.data());
    if (!first_skip) first_skip = reason;
  };
  bool in_spine = false;
  std::unordered_set<std::string> read_paths;
  XmlScanner s(opf.text.c_str());
  while (nexttag(s)) {
    if (s.name == "spine") {
      in_spine = !s.closing && !s.self_closing;
      continue;
    }
    if (!in_spine || s.closing || s.name != "itemref") continue;
    auto linear = attr(s, "linear", kLinearSize);
    if (linear && *linear == "no") continue;
    auto idref = attr(s, "idref", kIdSize);
    if (!idref) {
      skip(kUnresolvedItem, "(no idref)");
      continue;
    }
    auto item = items.find(*idref);
    if (item == items.end()) {
      skip(kUnresolvedItem, *idref);
      continue;
    }
    std::string path = normpath(folder, item->second);
    // Some packages list one document several times (items whose hrefs differ only by a
    // fragment); its text belongs in the book once.
    if (!read_paths.insert(path).second) continue;
    auto doc = extract_document(zip, path, true);
    if (!doc) {
      skip(kMissingItem, path);
      continue;
    }
    book.spine.push_back({path, book.words.size()});
    reset_parser(book);
    if (!xhtml_words(book, *doc, book.spine.back().path)) return false;
  }
  if (book.spine.empty()) {
    if (first_skip) ql_fail("%s", first_skip);
    return false;
  }
  return true;
}
}  // namespace

std::optional<OpfDocument> getopf(const ZipArchive& zip) {
  auto container = extract_document(zip, "META-INF/container.xml", false);
  if (!container) {
    ql_fail("No EPUB container.xml");
    return std::nullopt;
  }
  std::optional<std::string> full_path;
  XmlScanner s(container->c_str());
  while (!full_path && nexttag(s)) {
    if (!s.closing && s.name == "rootfile") full_path = attr(s, "full-path", kFullPathSize);
  }
  if (!full_path) {
    ql_fail("No OPF rootfile");
    return std::nullopt;
  }
  auto text = extract_document(zip, *full_path, false);
  if (!text) {
    ql_fail("Missing OPF");
    return std::nullopt;
  }
  return OpfDocument{std::move(*text), std::move(*full_path)};
}

BookMeta metadata(const std::string& opf) {
  BookMeta meta;
  XmlScanner s(opf.c_str());
  while (nexttag(s)) {
    if (s.closing) continue;
    if (s.name == "language" && meta.language.empty()) {
      meta.language = std::string(trim(s.text_after()).substr(0, kLanguageMax));
    } else if (s.name == "title" && meta.title.empty()) {
      meta.title = cut_utf8(trim(element_text(s)), kTitleMax);
    } else if (s.name == "creator" && meta.author.empty()) {
      meta.author = cut_utf8(trim(element_text(s)), kAuthorMax);
    }
  }
  return meta;
}

bool epub_read(BookModel& book, const char* path) {
  if (!zipopen_mode(book.g_zip, path, 1)) return false;
  auto opf = getopf(book.g_zip);
  if (!opf) return false;
  book.g_zip_kept = 1;
  BookMeta meta = metadata(opf->text);
  book.title = std::move(meta.title);
  book.author = std::move(meta.author);
  book.book_lang = std::move(meta.language);
  Manifest items;
  read_manifest(book, book.g_zip, *opf, items);
  return read_spine(book, book.g_zip, *opf, items);
}
