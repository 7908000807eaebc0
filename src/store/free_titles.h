// The free-title screens: the "Free books" menu with its counts and the list update, the searchable
// list of one source and kind, and the download step with its free-space check.
#pragma once
#include <string_view>

#include "store/free_catalog.h"

void free_books_screen();
void free_titles_list_screen(std::string_view source, std::string_view kind,
                             std::string_view heading);
void free_title_download(const FreeTitle& row);

// The megabytes a download needs free: 1.1 times its size (2.2 times for an archive, "zip" or
// "fb2.zip", which is unpacked beside itself) plus 50.
int64_t free_title_space_needed_mb(const FreeTitle& row);

// Where the newer list comes from, on the maker's site.
constexpr char kFreeListPath[] = "/catalog/free.tsv";
constexpr char kFreeListNewPath[] = "/mnt/us/ql/state/catalog-new.tsv";
