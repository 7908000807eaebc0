// Index tables kept in the state folder, one file per index path ("dict/<key>.tbl"), so that a
// start reads a few hundred kilobytes instead of every dictionary's index. A kept table is a
// cache: it is used only when it was made for the index as the index is now (size, times), its
// checksum holds and its samples agree with the index where checked; anything else is read from
// the index again and the file written anew, by a rename, so that no reader sees half of it.
#pragma once
#include <optional>
#include <span>
#include <string>

#include "book/dict/dict_file.h"
#include "book/dict/stardict_index.h"

// Indexes smaller than this are read through about as fast as their table: none is kept for them.
constexpr uint64_t kKeptTableIndexMin = 64 * 1024;

// The table kept for the index open as `file` at the device path `idx_path`, when it verifies.
std::optional<StardictIndex> read_kept_table(const char* idx_path, const DictFile& file, bool offsets64);
// Keeps `index`, built from `file` at `idx_path`, unless it is larger than the tables held in
// memory may be; a failed write keeps nothing.
void keep_table(const char* idx_path, const DictFile& file, const StardictIndex& index);
// Removes the kept tables of every index but these, so that a dictionary taken away takes its
// table with it.
void forget_kept_tables_except(std::span<const std::string> idx_paths);
