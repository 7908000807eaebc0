#include "host/folder_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int open_folder(const std::string& path, LastLink link) {
  const int nofollow = link == LastLink::Refuse ? O_NOFOLLOW : 0;
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | nofollow | O_CLOEXEC);
}

bool lock(int fd, int how) {
  while (flock(fd, how) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}
}  // namespace

std::optional<FolderLock> FolderLock::locked(const std::string& path, LastLink link, int how) {
  const int fd = open_folder(path, link);
  if (fd < 0) return std::nullopt;
  if (!lock(fd, how)) {
    const int why = errno;
    close(fd);
    errno = why;
    return std::nullopt;
  }
  return FolderLock(fd);
}

std::optional<FolderLock> FolderLock::try_exclusive(const std::string& path, LastLink link) {
  return locked(path, link, LOCK_EX | LOCK_NB);
}

std::optional<FolderLock> FolderLock::shared(const std::string& path, LastLink link) {
  return locked(path, link, LOCK_SH);
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) close(fd_);
}

bool FolderLock::share() { return lock(fd_, LOCK_SH); }

bool FolderLock::names(const std::string& path) const {
  struct stat held, named;
  return fstat(fd_, &held) == 0 && held.st_nlink > 0 && stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

unsigned FolderLock::owner() const {
  struct stat st;
  return fstat(fd_, &st) == 0 ? st.st_uid : ~0u;
}
