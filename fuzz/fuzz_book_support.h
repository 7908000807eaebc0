// What the book engine's harnesses share: one private folder per fuzzing process, made the data
// and temporary roots of the path remapping so that nothing the code under test writes escapes
// it, and a fast whole-file write for entries that take a path.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "display/paths.h"

// The process's private folder, created (and made both remapping roots) on first use, removed at
// a normal exit (a crashed run leaves it for inspection). A memory file system is preferred:
// entries that replace their files atomically sync them on each run.
inline const std::string& fuzz_folder() {
  static const std::string folder = [] {
    std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/qlfuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    ql_set_root(pattern.c_str(), pattern.c_str());
    static std::string removed_at_exit;
    removed_at_exit = pattern;
    atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removed_at_exit, ignored);
    });
    return pattern;
  }();
  return folder;
}

// Replaces the file at path with the bytes (aborts when it cannot: the run would mean nothing).
inline void fuzz_write_file(const std::string& path, const void* bytes, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(bytes, 1, size, f) != size) abort();
  if (fclose(f) != 0) abort();
}
