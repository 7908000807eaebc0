// The one file copy: seeding at start-up, added books, bundled books (host paths here; the
// device-path form is ql_copy_file in display/system_services).
#pragma once
#include <string>

// Copies the bytes of `src` to `dst` through `dst` + ".part", which is synced and renamed into
// place, so `dst` is either as it was or whole. Unless `replace`, nothing is
// touched when anything is at `dst` already, a dangling link included. A part file left by an
// earlier copy that was cut short is replaced; a failed copy leaves none.
bool copy_file(const std::string& src, const std::string& dst, bool replace);

// Copies the bytes of `src` into the new file `dst`, synced; refused when anything is at `dst`. A
// failed copy removes what it wrote.
bool copy_new_file(const std::string& src, const std::string& dst);

// Creates a folder and its missing parents (mode 0755); true when it exists afterwards.
bool make_folders(const std::string& path);
