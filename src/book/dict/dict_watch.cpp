#include "book/dict/dict_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace {
constexpr uint32_t kEntries = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr uint32_t kContents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB;
constexpr uint32_t kFile = kContents | IN_DELETE_SELF | IN_MOVE_SELF;
}  // namespace

std::optional<DictWatch> DictWatch::start() {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return std::nullopt;
  return DictWatch(fd);
}

DictWatch::~DictWatch() {
  if (fd_ >= 0) close(fd_);
}

DictWatch::DictWatch(DictWatch&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

DictWatch& DictWatch::operator=(DictWatch&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool DictWatch::watch_folder(const char* host_path, bool contents) {
  return inotify_add_watch(fd_, host_path, kEntries | (contents ? kContents : 0)) >= 0;
}

bool DictWatch::watch_descriptor(int fd, uint32_t reports) {
  // The descriptor's own name in /proc leads to the open file, not to whatever its path names now.
  const std::string own = "/proc/self/fd/" + std::to_string(fd);
  return inotify_add_watch(fd_, own.c_str(), reports) >= 0;
}

bool DictWatch::watch_file(const DictFile& file) { return watch_descriptor(file.descriptor(), kFile); }

bool DictWatch::watch_written_file(int fd) {
  return watch_descriptor(fd, IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF);
}

bool DictWatch::quiet() {
  alignas(inotify_event) char reports[4096];
  return read(fd_, reports, sizeof reports) < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}
