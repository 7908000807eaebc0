// Device paths (/mnt/us for user storage, /tmp for scratch) remapped onto the host's folders, and
// the file calls that go through that remapping. Every file the program keeps is named by a
// device path; only these wrappers turn it into a real one.
#pragma once
#include <cstdio>
#include <memory>
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

constexpr size_t kQlPathMax = 4200;

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
