// Writing a ZIP archive of stored members to an open file, in order: the converter's EPUB files.
// Every limit of the format is checked before a field would wrap: at most 65,535 members, members
// under 0xF0000001 bytes, offsets that fit in 32 bits.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

constexpr uint32_t kZipMaxEntries = 0xFFFF;
constexpr uint64_t kZipMaxStoredMember = 0xF0000000;

class ZipWriter {
 public:
  explicit ZipWriter(FILE* out) : out_(out) {}
  // Appends one stored member; false (and every later call fails) on a write error or a limit.
  bool add(std::string_view name, std::string_view data);
  // Writes the central directory and the end record.
  bool finish();
  bool failed() const { return failed_; }

 private:
  bool write(std::string_view bytes);
  FILE* out_;
  std::string directory_;
  uint64_t offset_ = 0;
  uint32_t entries_ = 0;
  bool failed_ = false;
};
