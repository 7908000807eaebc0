#include "host/file_copy.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kCopyBlock = 64 * 1024;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting the result (a delayed write error shows up here).
  bool close_checked() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

bool copy_new_file(const std::string& src, const std::string& dst) {
  Fd in(open(src.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return false;
  Fd out(open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (out.get() < 0) return false;
  auto buf = std::make_unique<char[]>(kCopyBlock);
  for (;;) {
    const ssize_t r = read(in.get(), buf.get(), kCopyBlock);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (r == 0) break;
    if (!write_all(out.get(), buf.get(), static_cast<size_t>(r))) return false;
  }
  return out.close_checked();
}

bool copy_file_replacing(const std::string& src, const std::string& dst) {
  const std::string part = dst + ".part";
  unlink(part.c_str());
  if (copy_new_file(src, part) && rename(part.c_str(), dst.c_str()) == 0) return true;
  unlink(part.c_str());
  return false;
}

bool make_folders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); i++) {
    if (i == path.size() || path[i] == '/') {
      const std::string prefix = path.substr(0, i);
      if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
