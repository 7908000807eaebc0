// Device paths (/mnt/us for user storage, /tmp for scratch) remapped onto the host's folders, and
// the file calls that go through that remapping. Every file the program keeps is named by a
// device path; only these wrappers turn it into a real one.
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <dirent.h>

// Sets the data root (for /mnt/us) and the temporary root (for /tmp); NULL stores "".
void ql_set_root(const char* data, const char* tmp);
const char* ql_data_root();
const char* ql_tmp_root();

// The host path for a device path: `path` itself, or `buf` (n bytes) holding the rewritten path.
// A rewritten path that does not fit is never cut: the result is "" (every file call on it fails)
// and errno is ENAMETOOLONG. A path already under one of the roots is returned unchanged.
const char* ql_path(const char* path, char* buf, size_t n);

// The device form ("/mnt/us/...") of a host path that lies inside the data folder, so that a file
// has one name however it was reached (a book opened by its own path and from the library keeps
// one position and one set of notes); symbolic links and relative paths are resolved first when
// the file exists. Any other path comes back as it is.
std::string ql_device_path(const char* path);

constexpr size_t kQlPathMax = 4200;

// True when the host path `inner` is `outer` or lies inside it, both resolved (symbolic links,
// "." and ".."); false when either does not exist.
bool path_is_within(const char* inner, const char* outer);

FILE* qlp_fopen(const char* path, const char* mode);
int qlp_access(const char* path, int mode);
int qlp_remove(const char* path);
int qlp_unlink(const char* path);
int qlp_rename(const char* from, const char* to);
DIR* qlp_opendir(const char* path);
int qlp_stat(const char* path, struct stat* st);
int qlp_lstat(const char* path, struct stat* st);
int qlp_mkdir(const char* path, mode_t mode);
int qlp_open(const char* path, int flags, ...);

// Owners for C handles, so every early return closes what it opened.
struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;
struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;
