// Reading members of a ZIP archive (book files, audiobook archives), with the ZIP64 end record and
// extra field for sizes and offsets past 32 bits. No multi-disk archives, no encrypted members.
// Members are read from the open file with pread, so a book file that is truncated or rewritten
// while open yields failed reads, never a crash.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

constexpr uint64_t kZipMinSize = 22;               // an empty end record
constexpr uint64_t kZipMaxFileSize = 0x40000000;   // 1 GiB, read through the descriptor
constexpr uint64_t kZipMaxHeapSize = 0x8000000;    // 128 MiB, read whole into memory
constexpr uint64_t kZipMaxMemberSize = 0x1000000;  // 16 MiB uncompressed
constexpr uint64_t kZipMaxDirectorySize = 0x4000000;  // 64 MiB of central directory kept in memory
constexpr uint64_t kZipMaxComicSize = 0xFFFFFFFF;      // what 32-bit member offsets can address
constexpr uint64_t kZipMaxComicDirectory = 0x1000000;  // 16 MiB

// A member as the central directory states it.
struct ZipEntryInfo {
  std::string_view name;  // into the kept directory
  uint16_t flags;
  uint16_t method;
  uint64_t compressed;
  uint64_t uncompressed;
};

class ZipArchive {
 public:
  ZipArchive() = default;
  ~ZipArchive();
  ZipArchive(ZipArchive&& other) noexcept;
  ZipArchive& operator=(ZipArchive&& other) noexcept;
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  bool is_open() const { return fd_ >= 0 || !heap_.empty(); }
  uint64_t size() const { return size_; }
  uint64_t cd_offset() const { return cd_offset_; }
  uint32_t entries() const { return entries_; }
  // 1 when members are read from the open file, 0 when the file was read whole into memory.
  uint32_t mapped() const { return fd_ >= 0; }

  // Reads len bytes at off into dst; false when any byte lies outside the file or cannot be read.
  bool read_at(uint64_t off, void* dst, uint64_t len) const;
  // Offset of the named member's central entry within the kept directory, or nothing.
  std::optional<size_t> find(std::string_view name) const;
  const std::vector<uint8_t>& directory() const { return directory_; }
  // Every member with a safe name, in no particular order.
  std::vector<ZipEntryInfo> list() const;

 private:
  friend bool zipopen_mode(ZipArchive& archive, const char* path, int map);
  friend bool zipopen_comic(ZipArchive& archive, const char* path);
  friend void zipclose(ZipArchive& archive);
  friend bool zipopen_any_size(ZipArchive& archive, const char* path);
  void release();
  bool open_file(const char* path, uint64_t max, const char* too_large);
  std::optional<std::vector<uint8_t>> read_tail() const;
  bool load_directory(uint64_t cd, uint64_t dir_size, uint64_t entries);
  bool load_exact_end();

  int fd_ = -1;
  std::vector<uint8_t> heap_;  // the whole file when read into memory
  uint64_t size_ = 0;
  uint64_t cd_offset_ = 0;
  uint32_t entries_ = 0;
  std::vector<uint8_t> directory_;  // the central directory, read once
  std::unordered_map<std::string_view, size_t> index_;  // names (into directory_) to entries
};

// Opens the archive at a device path. map = 1 reads members from the open file (up to 1 GiB);
// map = 0 reads the whole file into memory (up to 128 MiB). 1/0 with ql_error() set and logged.
bool zipopen_mode(ZipArchive& archive, const char* path, int map);
// Opens an archive of any size, read from the file on demand (audiobook archives pass 4 GiB); its
// end record is found as zipopen_mode finds it. 1/0 like zipopen_mode.
bool zipopen_any_size(ZipArchive& archive, const char* path);
// Opens a comic archive (CBZ), read from the file on demand whatever its size up to 4 GiB. Its end
// record is the first signature searching backwards whose directory (at most 16 MiB) lies inside
// the file; bytes after the record are allowed. 1/0 like zipopen_mode.
bool zipopen_comic(ZipArchive& archive, const char* path);
void zipclose(ZipArchive& archive);

// The member's uncompressed bytes (std::string: NUL-terminated, may hold NUL bytes), or nothing
// when it is missing, encrypted, over max_size (16 MiB unless given), damaged or shorter than its
// directory entry says. A deflated member that runs past its stated size is cut off at that size.
std::optional<std::string> zipextract(const ZipArchive& archive, std::string_view name,
                                      uint64_t max_size = kZipMaxMemberSize);
// At most max bytes from the start of the member (picture headers); what could be produced, or
// nothing when the member is missing, encrypted or its data is not valid deflate.
std::optional<std::string> zip_read_prefix(const ZipArchive& archive, std::string_view name,
                                           size_t max);
// One central directory entry as the directory states it, its ZIP64 values in place.
struct ZipMember {
  std::string_view name;  // into the archive's kept directory
  uint16_t flags;
  uint16_t method;
  uint32_t crc;
  uint64_t compressed;
  uint64_t uncompressed;
  uint64_t local_offset;
  bool is_link;  // a symbolic link made on Unix or macOS: its data is the link's target
  // Its stated sizes cannot be true of the archive: its data runs past the file, stored data is
  // not as long as stated, or deflate could not make so much of so little.
  bool is_damaged = false;
};
// Every entry in directory order, up to the first whose entry is damaged (fewer than entries()
// then), each with its stated sizes checked against the file.
std::vector<ZipMember> zip_members(const ZipArchive& archive);

enum class ZipStreamStatus { done, unsupported, damaged, refused };
// Hands a member's uncompressed bytes to `sink` block by block, whatever its size (members too
// large to hold: audiobook recordings). done only when the bytes that arrived match the stated
// size and CRC-32; unsupported for encrypted members and methods other than stored and deflate;
// refused when the sink said no.
ZipStreamStatus zip_stream_member(const ZipArchive& archive, const ZipMember& member,
                                  const std::function<bool(std::span<const uint8_t>)>& sink);

// False for names that would leave the folder they are unpacked into: absolute paths, drive
// letters, backslashes and ".." segments. Such members are never returned.
bool zip_member_path_is_safe(std::string_view name);
