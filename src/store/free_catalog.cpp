#include "store/free_catalog.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>
#include <unordered_set>
#include <vector>

#include "base/paths.h"
#include "store/download_manager.h"

namespace {
constexpr size_t kFields = 7;
constexpr double kBytesPerMb = 1e6;
constexpr double kBytesPerKb = 1e3;
constexpr double kWholeMbFrom = 100;

constexpr std::string_view kBuiltin =
    "# The free titles offered on this device, one row per title and format.\n"
    "# source\tkind (book|audio)\ttitle\tauthor\tformat\tbytes\taddress\n"
    "# Rows are separated by line ends and fields by single tabs; lines starting with # are notes.\n"
    "# Replace this list from the maker's site with Free books > Update the lists; nothing is "
    "fetched until then.\n"
    "orvane\tbook\tPride and Prejudice\tJane Austen\tepub\t1117057\t"
    "https://dl.orvane-institute.org/books/pride-and-prejudice.epub\n"
    "orvane\tbook\tPride and Prejudice\tJane Austen\tpdf\t55720385\t"
    "https://dl.orvane-institute.org/books/pride-and-prejudice.pdf\n"
    "orvane\tbook\tThe Time Machine\tH. G. Wells\tepub\t841330\t"
    "https://dl.orvane-institute.org/books/the-time-machine.epub\n"
    "orvane\tbook\tMoby-Dick\tHerman Melville\tepub\t2859434\t"
    "https://dl.orvane-institute.org/books/moby-dick.epub\n"
    "orvane\taudio\tPride and Prejudice\tJane Austen\tzip\t792227861\t"
    "https://dl.orvane-institute.org/audio/pride-and-prejudice.zip\n"
    "orvane\taudio\tThe Adventures of Sherlock Holmes\tArthur Conan Doyle\tzip\t482891371\t"
    "https://dl.orvane-institute.org/audio/sherlock-holmes.zip\n"
    "orvane\taudio\tMoby-Dick\tHerman Melville\tzip\t790316545\t"
    "https://dl.orvane-institute.org/audio/moby-dick.zip\n"
    "orvane\taudio\tThe Time Machine\tH. G. Wells\tzip\t112571702\t"
    "https://dl.orvane-institute.org/audio/the-time-machine.zip\n"
    "orvane\taudio\tA Christmas Carol\tCharles Dickens\tmp3\t88540968\t"
    "https://dl.orvane-institute.org/audio/a-christmas-carol.mp3\n";

struct FreeCatalog {
  std::string text;
  std::vector<FreeTitle> rows;
};
FreeCatalog catalog;

// A format becomes the downloaded file's extension, so it must be one: short, lower case.
bool is_extension(std::string_view f) {
  return !f.empty() && f.size() <= kFreeFormatMax &&
         std::all_of(f.begin(), f.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
}

std::optional<uint64_t> parse_bytes(std::string_view s) {
  uint64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// One line's row, or nothing when it breaks a rule.
std::optional<FreeTitle> parse_row(std::string_view line) {
  std::array<std::string_view, kFields> f;
  for (size_t i = 0; i < kFields; ++i) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos && i + 1 < kFields) return std::nullopt;
    f[i] = line.substr(0, tab);
    line = tab == std::string_view::npos ? std::string_view{} : line.substr(tab + 1);
  }
  const std::optional<uint64_t> bytes = parse_bytes(f[5]);
  if (f[2].empty() || f[2].size() > kFreeTitleMax || !is_extension(f[4]) || !bytes) return std::nullopt;
  if (f[6].size() > kFreeAddressMax || !ql_dl_allowed(f[6])) return std::nullopt;
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
  std::string_view rest = catalog.text;
  while (!rest.empty() && catalog.rows.size() < kFreeTitlesMax) {
    const size_t end = rest.find_first_of("\r\n");
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (std::optional<FreeTitle> row = parse_row(line)) catalog.rows.push_back(*row);
  }
  return catalog.rows.size();
}

size_t free_catalog_load() {
  const std::string text = read_catalog_file();
  if (free_catalog_parse(text.data(), text.size()) > 0) return catalog.rows.size();
  return free_catalog_parse(kBuiltin.data(), kBuiltin.size());
}

std::span<const FreeTitle> free_catalog_rows() { return catalog.rows; }

size_t free_catalog_count(std::string_view source, std::string_view kind) {
  std::unordered_set<std::string_view> titles;
  for (const FreeTitle& r : catalog.rows) {
    if (r.source == source && r.kind == kind) titles.insert(r.title);
  }
  return titles.size();
}

std::string_view free_catalog_builtin() { return kBuiltin; }

std::string format_size_mb(uint64_t bytes) {
  const double mb = static_cast<double>(bytes) / kBytesPerMb;
  char buf[48];
  if (mb >= kWholeMbFrom) {
    snprintf(buf, sizeof buf, "%.0f MB", mb);
  } else if (mb >= 1) {
    snprintf(buf, sizeof buf, "%.1f MB", mb);
  } else {
    snprintf(buf, sizeof buf, "%.0f KB", static_cast<double>(bytes) / kBytesPerKb);
  }
  return buf;
}
