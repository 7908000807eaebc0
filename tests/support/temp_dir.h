// A private temporary folder for one test, removed with everything in it when the test ends.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Small file helpers for fixtures.
void write_file(const std::string& path, const std::string& bytes, uint64_t at = 0);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// Entries of a folder whose names do not begin with a dot.
size_t entries_in(const std::string& dir);
// Every name below `dir`, relative and sorted, hidden ones and part files included.
std::vector<std::string> everything_below(const std::string& dir);
