// A dictionary file open for reading at offsets: every read is checked against the size the file
// had when it was opened, and a file that shrinks afterwards gives failed reads, never short data.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

class DictFile {
 public:
  // Opens a device path; nothing when it cannot be opened or is not a regular file.
  static std::optional<DictFile> open(const char* path);
  ~DictFile();
  DictFile(DictFile&& other) noexcept;
  DictFile& operator=(DictFile&& other) noexcept;
  DictFile(const DictFile&) = delete;
  DictFile& operator=(const DictFile&) = delete;

  uint64_t size() const { return size_; }
  // The open descriptor, for watching the file.
  int descriptor() const { return fd_; }
  // Tells a changed or replaced file (or folder) from the one read before: a write changes its
  // size or times, a replacement its inode, and a change of its status its ctime, which no one
  // can set back.
  struct Stamp {
    uint64_t size;
    int64_t mtime_ns;
    int64_t ctime_ns;
    uint64_t inode;
    uint64_t device;
    bool operator==(const Stamp&) const = default;
    // True when any change to the file after now would alter this stamp.
    bool settled() const;
  };
  // The stamp of whatever a device path names now; nothing when it does not exist.
  static std::optional<Stamp> stamp_at(const char* path);
  // A change within this long of an earlier one may fall in the same tick of the file system's
  // clock (two seconds on a FAT memory card) and leave the stamp as it was.
  static constexpr int64_t kSettleNs = int64_t{2} * 1000000000;
  // The wall clock as stamps count it, in nanoseconds.
  static int64_t now_ns();
  Stamp stamp() const { return stamp_; }
  // True while `path` names the open file as it was opened: not written to, removed, replaced, nor
  // hidden by another file or file system mounted over it.
  bool unchanged_at(const char* path) const { return stamp_at(path) == stamp_; }
  // `len` bytes at `off`; nothing when any of them lies outside the file or cannot be read.
  std::optional<std::string> read_at(uint64_t off, uint64_t len) const;
  // The same into the caller's `len` bytes at `out`; false as above.
  bool read_into(uint64_t off, char* out, uint64_t len) const;

 private:
  DictFile(int fd, Stamp stamp) : fd_(fd), size_(stamp.size), stamp_(stamp) {}
  int fd_;
  uint64_t size_;
  Stamp stamp_;
};
