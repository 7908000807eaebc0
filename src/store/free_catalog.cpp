#include "store/free_catalog.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <unordered_set>
#include <vector>

#include "base/paths.h"
#include "base/utf8.h"
#include "store/download_manager.h"
#include "store/download_policy.h"
#include "store/servers.h"

namespace {
constexpr size_t kFields = 7;
constexpr uint64_t kBytesPerMb = 1000000;
constexpr uint64_t kBytesPerKb = 1000;
constexpr uint64_t kWholeMbFrom = 100;

constexpr std::string_view kBuiltin =
    "# The free titles offered on this device, one row per title and format.\n"
    "# source\tkind (book|audio)\ttitle\tauthor\tformat\tbytes\taddress\n"
    "# Rows are separated by line ends and fields by single tabs; lines starting with # are notes.\n"
    "# Replace this list from the maker's site with Free books > Update the lists; nothing is "
    "fetched until then.\n"
    "orvane\tbook\tPride and Prejudice\tJane Austen\tepub\t1117057\t"
    "/books/pride-and-prejudice.epub\n"
    "orvane\tbook\tPride and Prejudice\tJane Austen\tpdf\t55720385\t"
    "/books/pride-and-prejudice.pdf\n"
    "orvane\tbook\tThe Time Machine\tH. G. Wells\tepub\t841330\t"
    "/books/the-time-machine.epub\n"
    "orvane\tbook\tMoby-Dick\tHerman Melville\tepub\t2859434\t"
    "/books/moby-dick.epub\n"
    "orvane\taudio\tPride and Prejudice\tJane Austen\tzip\t792227861\t"
    "/audio/pride-and-prejudice.zip\n"
    "orvane\taudio\tThe Adventures of Sherlock Holmes\tArthur Conan Doyle\tzip\t482891371\t"
    "/audio/sherlock-holmes.zip\n"
    "orvane\taudio\tMoby-Dick\tHerman Melville\tzip\t790316545\t"
    "/audio/moby-dick.zip\n"
    "orvane\taudio\tThe Time Machine\tH. G. Wells\tzip\t112571702\t"
    "/audio/the-time-machine.zip\n"
    "orvane\taudio\tA Christmas Carol\tCharles Dickens\tmp3\t88540968\t"
    "/audio/a-christmas-carol.mp3\n";

// The built-in rows name their files by path only: they live on the publisher's download host,
// which is configuration.
std::string builtin_with_host(std::string_view host) {
  std::string text(kBuiltin);
  if (host.empty()) return text;
  const std::string prefix = "\thttps://" + std::string(host) + "/";
  for (size_t at = text.find("\t/"); at != std::string::npos;
       at = text.find("\t/", at + prefix.size())) {
    text.replace(at, 2, prefix);
  }
  return text;
}

struct FreeCatalog {
  std::string text;
  std::vector<FreeTitle> rows;
};
FreeCatalog catalog;

// A format becomes the downloaded file's extension, so it must be one: short, ASCII letters and
// digits, with inner dots for a compound one ("fb2.zip"). No slash, no leading dot and no ".."
// can make a name that leads out of the documents folder or hides there.
bool is_extension(std::string_view f) {
  if (f.empty() || f.size() > kFreeFormatMax || f.front() == '.' || f.back() == '.' ||
      f.find("..") != std::string_view::npos) {
    return false;
  }
  return std::all_of(f.begin(), f.end(), [](char c) { return c == '.' || ascii_alnum(c); });
}

std::optional<uint64_t> parse_bytes(std::string_view s) {
  uint64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// One line's row, or nothing when it breaks a rule.
std::optional<FreeTitle> parse_row(std::string_view line, const Servers& servers) {
  std::array<std::string_view, kFields> f;
  for (size_t i = 0; i < kFields; ++i) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos && i + 1 < kFields) return std::nullopt;
    f[i] = line.substr(0, tab);
    line = tab == std::string_view::npos ? std::string_view{} : line.substr(tab + 1);
  }
  const std::optional<uint64_t> bytes = parse_bytes(f[5]);
  if (f[2].empty() || f[2].size() > kFreeTitleMax || !is_extension(f[4]) || !bytes) return std::nullopt;
  if (f[6].size() > kFreeAddressMax || !download_address_allowed(f[6], servers))
    return std::nullopt;
  return FreeTitle{f[0], f[1], f[2], f[3], f[4], *bytes, f[6]};
}

std::string read_catalog_file() {
  FilePtr f{qlp_fopen(kFreeCatalogPath, "rb")};
  if (!f) return {};
  std::string text(kFreeCatalogFileMax, '\0');
  text.resize(fread(text.data(), 1, text.size(), f.get()));
  return text;
}
}  // namespace

size_t free_catalog_parse(const char* text, size_t length) {
  catalog.text.assign(text, length);
  catalog.rows.clear();
  const Servers servers = servers_load();
  std::string_view rest = catalog.text;
  while (!rest.empty() && catalog.rows.size() < kFreeTitlesMax) {
    const size_t end = rest.find_first_of("\r\n");
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (std::optional<FreeTitle> row = parse_row(line, servers)) {
      // Lists write "EPUB" as well as "epub": the kept copy holds the format lower-cased, as the
      // downloaded file's extension and every comparison take it.
      const auto at = catalog.text.begin() + (row->format.data() - catalog.text.data());
      std::transform(at, at + static_cast<std::ptrdiff_t>(row->format.size()), at, [](char c) { return ascii_lower(c); });
      catalog.rows.push_back(*row);
    }
  }
  return catalog.rows.size();
}

size_t free_catalog_load() {
  const std::string text = read_catalog_file();
  if (free_catalog_parse(text.data(), text.size()) > 0) return catalog.rows.size();
  const std::string builtin = free_catalog_builtin();
  return free_catalog_parse(builtin.data(), builtin.size());
}

std::span<const FreeTitle> free_catalog_rows() { return catalog.rows; }

size_t free_catalog_count(std::string_view source, std::string_view kind) {
  std::unordered_set<std::string_view> titles;
  for (const FreeTitle& r : catalog.rows) {
    if (r.source == source && r.kind == kind) titles.insert(r.title);
  }
  return titles.size();
}

std::string free_catalog_builtin() { return builtin_with_host(servers_load().publisher_downloads); }

std::string format_size_mb(uint64_t bytes) {
  // Whole units and tenths are cut, never rounded: 999999 bytes are 999 KB, not 1000.
  if (bytes >= kWholeMbFrom * kBytesPerMb) return std::to_string(bytes / kBytesPerMb) + " MB";
  if (bytes >= kBytesPerMb) {
    return std::to_string(bytes / kBytesPerMb) + "." +
           std::to_string(bytes % kBytesPerMb / (kBytesPerMb / 10)) + " MB";
  }
  return std::to_string(bytes / kBytesPerKb) + " KB";
}
