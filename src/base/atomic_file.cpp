#include "base/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/paths.h"
#include "base/sync_later.h"

const char* path_with_tmp_suffix(char (&buf)[kTmpPathSize], const char* path) {
  static constexpr char kSuffix[] = ".tmp";
  size_t len = strlen(path);
  if (len > kTmpPathSize - sizeof kSuffix) {
    buf[0] = 0;
    return buf;
  }
  memcpy(buf, path, len);
  memcpy(buf + len, kSuffix, sizeof kSuffix);
  return buf;
}

namespace {
enum class Sync { Now, Never };

// Host paths from here on.

// A new file, never one already there: a temporary name a killed run left may be another name of
// a file someone keeps (a hard link of a backup) or a link to one, and writing into it would
// change that file; a folder or a FIFO there would block every later save of the file.
int create_new(const char* path) {
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  const int fd = open(path, flags, 0666);
  if (fd >= 0 || errno != EEXIST) return fd;
  std::error_code ec;
  std::filesystem::remove_all(path, ec);  // never follows a link
  return open(path, flags, 0666);
}

FILE* stream_on(int fd) {
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "wb");
  if (!f) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return f;
}

// Puts the flushed temporary file in place; the folder that records the rename reaches the disk
// within about a second.
bool put_in_place(const char* tmp_path, const char* final_path, Sync sync) {
  if (rename(tmp_path, final_path) != 0) return false;
  if (sync == Sync::Now) sync_folder_later(folder_of(final_path));
  return true;
}

bool commit(FILE* stream, const char* tmp_path, const char* final_path, Sync sync) {
  bool flushed = !ferror(stream) && fflush(stream) == 0 &&
                 (sync != Sync::Now || fsync(fileno(stream)) == 0);
  int error = errno;
  if (fclose(stream) != 0 && flushed) {
    flushed = false;
    error = errno;
  }
  if (flushed) return put_in_place(tmp_path, final_path, sync);
  remove(tmp_path);
  errno = error;
  return false;
}

bool commit_device_paths(FILE* stream, const char* tmp_path, const char* final_path, Sync sync) {
  char tmp_buf[kQlPathMax], final_buf[kQlPathMax];
  return commit(stream, ql_path(tmp_path, tmp_buf, sizeof tmp_buf),
                ql_path(final_path, final_buf, sizeof final_buf), sync);
}

bool write_all(int fd, const void* bytes, size_t length) {
  const char* at = static_cast<const char*>(bytes);
  for (size_t done = 0; done < length;) {
    const ssize_t n = write(fd, at + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool write_whole(const char* tmp, const char* final_path, const void* bytes, size_t length) {
  const int fd = create_new(tmp);
  if (fd < 0) return false;
  bool written = write_all(fd, bytes, length) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written) return put_in_place(tmp, final_path, Sync::Now);
  unlink(tmp);
  errno = error;
  return false;
}

// Whether the file at the host path is a regular file holding exactly these bytes, read without
// following a link or waiting on a FIFO; `links` receives its number of names.
bool holds_bytes(const char* host_path, const void* bytes, size_t length, nlink_t& links) {
  const int fd = open(host_path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<size_t>(st.st_size) == length;
  if (same && length > 0) {
    std::string held(length, '\0');
    same = pread(fd, held.data(), length, 0) == static_cast<ssize_t>(length) &&
           memcmp(held.data(), bytes, length) == 0;
  }
  links = st.st_nlink;
  close(fd);
  return same;
}
}  // namespace

FILE* file_create_new(const char* tmp_path) {
  char buf[kQlPathMax];
  const char* host = ql_path(tmp_path, buf, sizeof buf);
  if (!*host) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  return stream_on(create_new(host));
}

FILE* file_create_new_host(const char* tmp_path) { return stream_on(create_new(tmp_path)); }

bool file_commit(FILE* stream, const char* tmp_path, const char* final_path) {
  return commit_device_paths(stream, tmp_path, final_path, Sync::Now);
}

bool file_commit_host(FILE* stream, const char* tmp_path, const char* final_path) {
  return commit(stream, tmp_path, final_path, Sync::Now);
}

bool file_commit_unsynced(FILE* stream, const char* tmp_path, const char* final_path) {
  return commit_device_paths(stream, tmp_path, final_path, Sync::Never);
}

bool file_write_atomic(const char* path, const void* bytes, size_t length) {
  char tmp[kTmpPathSize], tmp_buf[kQlPathMax], final_buf[kQlPathMax];
  if (!*path_with_tmp_suffix(tmp, path)) {
    errno = ENAMETOOLONG;
    return false;
  }
  const char* host_tmp = ql_path(tmp, tmp_buf, sizeof tmp_buf);
  const char* host_final = ql_path(path, final_buf, sizeof final_buf);
  if (!*host_tmp || !*host_final) return false;  // errno is ENAMETOOLONG
  return write_whole(host_tmp, host_final, bytes, length);
}

bool file_update_atomic(const char* path, const void* bytes, size_t length, SameBytes same) {
  char buf[kQlPathMax];
  const char* host = ql_path(path, buf, sizeof buf);
  nlink_t links = 0;
  if (*host && holds_bytes(host, bytes, length, links)) {
    if (same == SameBytes::Keep) return true;
    // The time of a file another name shares (a backup's hard link) is the backup's too: that
    // file is left alone and a new one takes the name.
    if (links == 1 && utimensat(AT_FDCWD, host, nullptr, AT_SYMLINK_NOFOLLOW) == 0) return true;
  }
  return file_write_atomic(path, bytes, length);
}
