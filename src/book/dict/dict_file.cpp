#include "book/dict/dict_file.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "base/paths.h"

namespace {
int64_t nanoseconds(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

DictFile::Stamp stamp_of(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_size), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim),
          static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_dev)};
}
}  // namespace

std::optional<DictFile> DictFile::open(const char* path) {
  const int fd = qlp_open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return std::nullopt;
  }
  return DictFile(fd, stamp_of(st));
}

std::optional<DictFile::Stamp> DictFile::stamp_at(const char* path) {
  struct stat st;
  if (qlp_stat(path, &st) != 0) return std::nullopt;
  return stamp_of(st);
}

int64_t DictFile::now_ns() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return nanoseconds(t);
}

bool DictFile::Stamp::settled() const { return std::max(mtime_ns, ctime_ns) < now_ns() - kSettleNs; }

DictFile::~DictFile() {
  if (fd_ >= 0) close(fd_);
}

DictFile::DictFile(DictFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), stamp_(other.stamp_) {}

DictFile& DictFile::operator=(DictFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
    stamp_ = other.stamp_;
  }
  return *this;
}

bool DictFile::read_into(uint64_t off, char* out, uint64_t len) const {
  if (off > size_ || len > size_ - off) return false;
  for (uint64_t done = 0; done < len;) {
    const ssize_t n = pread(fd_, out + done, static_cast<size_t>(len - done), static_cast<off_t>(off + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the file shrank or cannot be read
    done += static_cast<uint64_t>(n);
  }
  return true;
}

std::optional<std::string> DictFile::read_at(uint64_t off, uint64_t len) const {
  if (off > size_ || len > size_ - off) return std::nullopt;
  std::string out(static_cast<size_t>(len), '\0');
  if (!read_into(off, out.data(), len)) return std::nullopt;
  return out;
}
