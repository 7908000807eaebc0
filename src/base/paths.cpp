#include "base/paths.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {
// Set once before any thread starts, read from every thread afterwards; never destroyed, since a
// thread may still map a path while the process ends.
std::string& data_root = *new std::string;
std::string& tmp_root = *new std::string;

// True when `path` is `prefix` itself or lies below it.
bool is_under(std::string_view path, std::string_view prefix) {
  if (prefix.empty() || !path.starts_with(prefix)) return false;
  return path.size() == prefix.size() || path[prefix.size()] == '/';
}

const char* rewrite(std::string_view root, std::string_view rest, char* buf, size_t n) {
  if (root.size() + rest.size() >= n) {
    errno = ENAMETOOLONG;
    return "";
  }
  memcpy(buf, root.data(), root.size());
  memcpy(buf + root.size(), rest.data(), rest.size());
  buf[root.size() + rest.size()] = 0;
  return buf;
}
}  // namespace

void ql_set_root(const char* data, const char* tmp) {
  data_root = data ? data : "";
  tmp_root = tmp ? tmp : "";
}

const char* ql_data_root() { return data_root.c_str(); }
const char* ql_tmp_root() { return tmp_root.c_str(); }

const char* ql_path(const char* path, char* buf, size_t n) {
  if (!path || data_root.empty()) return path;
  std::string_view p(path);
  // The roots themselves may lie under /tmp (a test's data folder, the per-run folder).
  if (is_under(p, data_root) || is_under(p, tmp_root)) return path;
  if (is_under(p, "/mnt/us")) return rewrite(data_root, p.substr(7), buf, n);
  if (!tmp_root.empty() && is_under(p, "/tmp")) return rewrite(tmp_root, p.substr(4), buf, n);
  return path;
}

std::string ql_device_path(const char* path) {
  if (!path) return {};
  const std::string_view p(path);
  if (data_root.empty() || is_under(p, "/mnt/us")) return std::string(p);
  auto device_form = [](std::string_view rest) { return "/mnt/us" + std::string(rest); };
  char real[PATH_MAX], root[PATH_MAX];
  if (realpath(path, real) && realpath(data_root.c_str(), root) && is_under(real, root)) {
    return device_form(std::string_view(real).substr(strlen(root)));
  }
  if (is_under(p, data_root)) return device_form(p.substr(data_root.size()));
  return std::string(p);
}

bool path_is_within(const char* inner, const char* outer) {
  char a[PATH_MAX], b[PATH_MAX];
  if (!realpath(inner, a) || !realpath(outer, b)) return false;
  const size_t n = strlen(b);
  return strncmp(a, b, n) == 0 && (a[n] == '\0' || a[n] == '/' || (n == 1 && b[0] == '/'));
}

// A missing path becomes "", which every system call refuses (ENOENT) instead of reading NULL.
#define MAP(var, path)        \
  char var##_buf[kQlPathMax]; \
  const char* var = path ? ql_path(path, var##_buf, sizeof var##_buf) : ""

namespace {
// A file opened for reading that is not a regular file is taken as missing, and said in the log:
// a FIFO at a state file's name would hold the program up in the open, and a folder or a device
// reads as nothing a file could hold.
FILE* open_for_reading(const char* path, const char* mode) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    fprintf(stderr, "quillo: %s is not a file: taken as missing\n", path);
    close(fd);
    errno = ENOENT;
    return nullptr;
  }
  FILE* f = fcntl(fd, F_SETFL, 0) == 0 ? fdopen(fd, mode) : nullptr;
  if (!f) close(fd);
  return f;
}
}  // namespace

FILE* qlp_fopen(const char* path, const char* mode) {
  MAP(p, path);
  const std::string_view m(mode);
  return m == "r" || m == "rb" ? open_for_reading(p, mode) : fopen(p, mode);
}
int qlp_access(const char* path, int mode) {
  MAP(p, path);
  return access(p, mode);
}
int qlp_remove(const char* path) {
  MAP(p, path);
  return remove(p);
}
int qlp_unlink(const char* path) {
  MAP(p, path);
  return unlink(p);
}
int qlp_rename(const char* from, const char* to) {
  MAP(a, from);
  MAP(b, to);
  return rename(a, b);
}
DIR* qlp_opendir(const char* path) {
  MAP(p, path);
  return opendir(p);
}
int qlp_stat(const char* path, struct stat* st) {
  MAP(p, path);
  return stat(p, st);
}
int qlp_lstat(const char* path, struct stat* st) {
  MAP(p, path);
  return lstat(p, st);
}
int qlp_mkdir(const char* path, mode_t mode) {
  MAP(p, path);
  return mkdir(p, mode);
}
int qlp_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list ap;
    va_start(ap, flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  MAP(p, path);
  return open(p, flags, mode);
}
