// The cover picture of an EPUB for the library and the opening screen.
#include <optional>
#include <string>

#include "base/utf8.h"
#include "book/epub.h"
#include "book/xml_scan.h"
#include "display/images.h"

namespace {
constexpr size_t kMetaNameSize = 64;
constexpr size_t kMetaContentSize = 256;
constexpr size_t kHrefSize = 2048;
constexpr size_t kMediaTypeSize = 128;
constexpr size_t kPropertiesSize = 128;
constexpr size_t kIdSize = 256;

bool contains_nocase(std::string_view s, std::string_view word) {
  for (size_t i = 0; i + word.size() <= s.size(); i++) {
    size_t k = 0;
    while (k < word.size() && ascii_lower(s[i + k]) == word[k]) k++;
    if (k == word.size()) return true;
  }
  return false;
}

// The cover id named by the package's <meta name="cover" content="...">.
std::optional<std::string> cover_id(const std::string& opf) {
  XmlScanner s(opf.c_str());
  while (nexttag(s)) {
    if (s.closing || s.name != "meta") continue;
    auto name = attr(s, "name", kMetaNameSize);
    if (!name || *name != "cover") continue;
    if (auto content = attr(s, "content", kMetaContentSize)) return content;
  }
  return std::nullopt;
}

// The href of the cover picture: an item marked "cover-image" or named by the cover meta,
// else the first picture whose id or href mentions "cover".
std::optional<std::string> cover_href(const std::string& opf) {
  auto wanted = cover_id(opf);
  std::optional<std::string> fallback;
  XmlScanner s(opf.c_str());
  while (nexttag(s)) {
    if (s.closing || s.name != "item") continue;
    auto href = attr(s, "href", kHrefSize);
    auto type = attr(s, "media-type", kMediaTypeSize);
    if (!href || !type || !type->starts_with("image/") || *type == "image/svg+xml") continue;
    auto props = attr(s, "properties", kPropertiesSize);
    auto id = attr(s, "id", kIdSize);
    if ((props && props->find("cover-image") != std::string::npos) || (wanted && id && *id == *wanted))
      return href;
    if (!fallback && ((id && contains_nocase(*id, "cover")) || contains_nocase(*href, "cover")))
      fallback = std::move(href);
  }
  return fallback;
}
}  // namespace

int ql_epub_cover(const char* path, uint8_t* out, int w, int h) {
  ZipArchive zip;
  if (!zipopen_mode(zip, path, 1)) return 0;
  auto opf = getopf(zip);
  if (!opf) return 0;
  auto href = cover_href(opf->text);
  if (!href) return 0;
  auto bytes = zipextract(zip, normpath(path_folder(opf->path), *href));
  if (!bytes) return 0;
  return qlpdf_image_mem(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size(), out, w, h);
}
