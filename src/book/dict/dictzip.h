// Reading a slice of a gzip-compressed dictionary file (".dict.dz"). A dictzip file carries a
// table of independently compressed chunks in its gzip header, so a slice costs the one or two
// chunks that hold it; a plain gzip file without that table is inflated from its start up to the
// slice, within a cap.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "book/dict/dict_file.h"

// The most a slice may hold, and how far into a file without a chunk table a slice may lie.
constexpr uint32_t kDictSliceMax = 0x400000 - 1;
constexpr uint64_t kDictWholeStreamMax = 0x10000000;

class DictzipFile {
 public:
  // The file at a device path with its header read; nothing when it is missing or its header is
  // damaged.
  static std::optional<DictzipFile> open(const char* path);
  // `size` bytes at uncompressed `offset`; nothing when the data is damaged or the slice does not
  // lie inside it or past the caps.
  std::optional<std::string> read(uint64_t offset, uint32_t size) const;
  const DictFile& file() const { return file_; }

  // Where the compressed data begins and, for a dictzip file, its chunk table.
  struct Layout {
    uint64_t data_start = 0;
    uint32_t chunk_length = 0;            // 0: no chunk table
    std::vector<uint64_t> chunk_starts;   // one per chunk and one for the end of the last
  };

 private:
  DictzipFile(std::string path, DictFile file, Layout layout)
      : path_(std::move(path)), file_(std::move(file)), layout_(std::move(layout)) {}
  std::optional<std::string> read_chunked(uint64_t offset, uint32_t size) const;
  std::optional<std::string> read_whole_stream(uint64_t offset, uint32_t size) const;
  bool append_chunk_slice(uint64_t number, uint64_t from, uint64_t to, std::string& out) const;
  std::string path_;
  DictFile file_;
  Layout layout_;
};
