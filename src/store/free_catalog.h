// The free-title list: catalog.tsv (or the built-in list when it has no usable row) read into a
// table of rows, one per title and format, whose addresses all lie on download hosts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

constexpr size_t kFreeTitlesMax = 3000;
constexpr size_t kFreeCatalogFileMax = size_t{2} << 20;
constexpr size_t kFreeTitleMax = 200;
constexpr size_t kFreeAddressMax = 1000;
constexpr size_t kFreeFormatMax = 16;
constexpr char kFreeCatalogPath[] = "/mnt/us/ql/state/catalog.tsv";

// One row; the texts are views into the loaded list, valid until the next load or parse.
struct FreeTitle {
  std::string_view source, kind, title, author, format;
  uint64_t bytes;
  std::string_view address;
};

// Reads catalog.tsv (up to 2 MiB) into the table; with no usable row, the built-in list. The count.
size_t free_catalog_load();
// Parses a list's text into the table (the text is copied and kept). The row count.
size_t free_catalog_parse(const char* text, size_t length);
// The rows of the last load or parse, in file order.
std::span<const FreeTitle> free_catalog_rows();
// Distinct titles of one source and kind.
size_t free_catalog_count(std::string_view source, std::string_view kind);
// The built-in list's text, its addresses on the publisher's download host (ql/servers.conf); with
// no such host its rows have no usable address.
std::string free_catalog_builtin();

// bytes / 1e6 as megabytes, cut (not rounded): "1792 MB" from 100 MB up, "55.7 MB" from 1 MB up,
// else whole kilobytes ("841 KB").
std::string format_size_mb(uint64_t bytes);
