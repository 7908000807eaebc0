// Looking words up in the StarDict dictionaries the reader copies to the documents folder's
// "dictionaries" folder, directly or in a folder of their own inside it. Each dictionary is a
// ".ifo" file (its name and options) with an ".idx" index and a ".dict" or ".dict.dz" file of
// definitions of the same base name. The dictionaries are listed and opened once and kept between
// lookups while their folders and files stay unchanged.
#pragma once
#include <string_view>

constexpr char kDictFolder[] = "/mnt/us/documents/dictionaries";

// Looks `word` up in every dictionary, in the order of their file names, and writes the result
// to `out_path` in one write (no file is left when that fails): per dictionary that has the word its name, the
// headword in parentheses when an English ending had to be taken off, and the definition text.
// A hyphenated word that no dictionary holds is looked up part by part, each result under its
// part; with nothing found the file says so. The number of definitions written; 0 also when the
// file could not be written.
int ql_dict_lookup(std::string_view word, const char* out_path);

// Writes one line per dictionary (its name, else its base name) to `out_path`, or a line saying
// there are none. The number of dictionaries.
int ql_dict_list(const char* out_path);

// The number of dictionaries installed.
int ql_dict_count();
