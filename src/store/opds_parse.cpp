#include "store/opds_parse.h"

#include <cstdlib>
#include <optional>

#include "base/atomic_file.h"
#include "book/xml_scan.h"
#include "base/paths.h"
#include "base/utf8.h"
#include "store/url_resolve.h"

namespace {
constexpr char kDefaultStateFolder[] = "/mnt/us/ql/state";
// Links are read a little past their limit, so a longer one is refused instead of cut.
constexpr size_t kAttrRead = kFeedHrefMax + 2;

struct RawEntry {
  std::string title;
  std::optional<std::string> book;     // the first EPUB acquisition link
  bool book_search_over = false;       // an EPUB link without an address ends the search
  std::optional<std::string> catalogue;
};

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// A title as one line: entities decoded, line breaks and tabs made spaces, the ends trimmed.
std::string clean_title(std::string_view raw) {
  std::string t = needs_decode(raw) ? decode(raw) : std::string(raw);
  for (char& c : t) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  const size_t first = t.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  t = t.substr(first, t.find_last_not_of(' ') - first + 1);
  t.resize(utf8_prefix_length(t, kFeedTitleMax));
  return t;
}

// The text of the element just opened, up to its end tag, markup inside skipped.
std::string element_text(XmlScanner& s, std::string_view name) {
  std::string text(s.text_after());
  if (s.self_closing) return {};
  while (nexttag(s)) {
    if (s.name == name && s.closing) break;
    text += s.text_after();
  }
  return text;
}

void read_link(const XmlScanner& s, RawEntry& e) {
  const std::string type = attr(s, "type", kAttrRead).value_or("");
  const std::string rel = attr(s, "rel", kAttrRead).value_or("");
  const std::optional<std::string> href = attr(s, "href", kAttrRead);
  if (!href) return;
  if (contains(type, "application/epub") || contains(type, "epub+zip")) {
    if (!e.book && !e.book_search_over) {
      if (href->empty()) {
        e.book_search_over = true;
      } else {
        e.book = *href;
      }
    }
    return;
  }
  const bool catalogue = contains(type, "opds-catalog") || rel == "subsection" || contains(*href, ".opds");
  if (catalogue && !e.catalogue && !href->empty()) e.catalogue = *href;
}

// An address fit for the list: http(s), within its limit, one line without blanks.
bool is_listable(std::string_view address) {
  if (!address.starts_with("https://") && !address.starts_with("http://")) return false;
  if (address.size() > kFeedAddressMax) return false;
  for (char c : address) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
  }
  return true;
}

// The address relative links resolve against when the caller gave none: the feed's self link,
// else the site of an http <id>, else the default site.
std::string own_address(std::string_view self, std::string_view id) {
  if (self.starts_with("http")) return std::string(self);
  const size_t scheme = id.find("://");
  if (id.starts_with("http") && scheme != std::string_view::npos) {
    const std::string_view rest = id.substr(scheme + 3);
    return "https://" + std::string(rest.substr(0, rest.find('/'))) + "/";
  }
  return std::string(kDefaultCatalogueSite);
}

std::string state_list_path() { return opds_list_folder() + "/opds.list"; }
}  // namespace

std::vector<FeedEntry> opds_entries(std::string_view document, std::string_view feed_address) {
  const size_t start = document.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (start == std::string_view::npos || document[start] != '<') return {};
  const std::string text(document);
  XmlScanner s(text.c_str());
  std::vector<RawEntry> raw;
  std::optional<RawEntry> open;
  std::string self, id;
  bool id_seen = false;
  while (nexttag(s)) {
    if (s.name == "entry") {
      if (s.closing && open) raw.push_back(std::move(*open));
      open.reset();
      if (!s.closing && !s.self_closing) open.emplace();
      continue;
    }
    if (s.closing) continue;
    if (open) {
      if (s.name == "title" && open->title.empty()) open->title = clean_title(element_text(s, "title"));
      if (s.name == "link") read_link(s, *open);
    } else if (s.name == "link" && self.empty() && attr(s, "rel", kAttrRead) == "self") {
      self = attr(s, "href", kAttrRead).value_or("");
    } else if (s.name == "id" && !id_seen) {
      id_seen = true;
      id = clean_title(element_text(s, "id"));
    }
  }
  const std::string base = feed_address.empty() ? own_address(self, id) : std::string(feed_address);
  std::vector<FeedEntry> out;
  for (const RawEntry& e : raw) {
    const char kind = e.book ? 'E' : e.catalogue ? 'C' : 0;
    if (!kind || e.title.empty() || e.title == "Authors" || e.title == "Subjects") continue;
    const std::string& href = e.book ? *e.book : *e.catalogue;
    if (href.size() > kFeedHrefMax) continue;
    std::string address = resolve_url(base, href);
    if (!is_listable(address)) continue;
    out.push_back({kind, e.title, std::move(address)});
  }
  return out;
}

std::string opds_list_line(const FeedEntry& entry) {
  return std::string(1, entry.kind) + '\t' + entry.title + '\t' + entry.address + '\n';
}

std::optional<FeedEntry> opds_read_list_line(std::string_view line) {
  if (line.size() > kFeedListLineMax || line.size() < 4 || line[1] != '\t') return std::nullopt;
  const char kind = line[0];
  const size_t tab = line.find('\t', 2);
  if ((kind != 'E' && kind != 'C') || tab == std::string_view::npos) return std::nullopt;
  const std::string_view title = line.substr(2, tab - 2), address = line.substr(tab + 1);
  if (title.empty() || title.size() > kFeedTitleMax || !is_listable(address)) return std::nullopt;
  return FeedEntry{kind, std::string(title), std::string(address)};
}

std::string opds_list_folder() {
  const char* state = getenv("QUILLO_STATE");
  return state && *state ? state : kDefaultStateFolder;
}

int ql_opds_parse(const char* feed_path) {
  if (!feed_path) return 0;
  FilePtr f{qlp_fopen(feed_path, "rb")};
  if (!f) return 0;
  std::string document(kFeedMaxBytes + 1, '\0');
  document.resize(fread(document.data(), 1, document.size(), f.get()));
  if (document.empty() || document.size() > kFeedMaxBytes) return 0;
  const char* feed = getenv("QL_OPDS_FEED");
  const std::string_view address = feed && std::string_view(feed).find("://") != std::string_view::npos
                                       ? std::string_view(feed)
                                       : std::string_view{};
  const std::vector<FeedEntry> entries = opds_entries(document, address);
  std::string list;
  for (const FeedEntry& e : entries) list += opds_list_line(e);
  if (!file_write_atomic(state_list_path().c_str(), list.data(), list.size())) return 0;
  return static_cast<int>(entries.size());
}
