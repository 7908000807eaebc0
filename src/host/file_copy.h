// File copying for the host's start-up seeding and for added books.
#pragma once
#include <string>

// Copies the bytes of `src` into a new file `dst` (which must not exist yet). On failure `dst`
// may be left partly written; callers copy to a ".part" name and rename.
bool copy_new_file(const std::string& src, const std::string& dst);

// Copies `src` to `dst` through `dst` + ".part" and a rename, replacing `dst` only when the copy
// is whole. A failed copy leaves `dst` as it was and no ".part" file.
bool copy_file_replacing(const std::string& src, const std::string& dst);

// Creates a folder and its missing parents (mode 0755); true when it exists afterwards.
bool make_folders(const std::string& path);
