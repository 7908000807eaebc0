#include "base/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
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

// Host paths.
bool commit(FILE* stream, const char* tmp_path, const char* final_path, Sync sync) {
  if (ferror(stream) || fflush(stream) != 0) {
    fclose(stream);
    remove(tmp_path);
    return false;
  }
  bool synced = sync != Sync::Now || fsync(fileno(stream)) == 0;
  bool closed = fclose(stream) == 0;
  if (!synced || !closed) {
    remove(tmp_path);
    return false;
  }
  return rename(tmp_path, final_path) == 0;
}

bool commit_device_paths(FILE* stream, const char* tmp_path, const char* final_path, Sync sync) {
  char tmp_buf[kQlPathMax], final_buf[kQlPathMax];
  return commit(stream, ql_path(tmp_path, tmp_buf, sizeof tmp_buf),
                ql_path(final_path, final_buf, sizeof final_buf), sync);
}

// The spares kept by saves at page turns (host paths), for file_drop_spares.
struct Spares {
  std::mutex mu;
  std::set<std::string> paths;
};

// Never destroyed: a save may still run on the core thread while another thread ends the process.
Spares& spares() {
  static Spares* s = new Spares;
  return *s;
}

// The whole content from the start of an open file, cut to its length: a spare is longer or
// shorter than the new content.
bool write_whole(int fd, const void* bytes, size_t length) {
  const char* at = static_cast<const char*>(bytes);
  for (size_t done = 0; done < length;) {
    const ssize_t n = pwrite(fd, at + done, length - done, static_cast<off_t>(done));
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return ftruncate(fd, static_cast<off_t>(length)) == 0;
}

bool is_regular_file(const char* host_path) {
  struct stat st;
  return lstat(host_path, &st) == 0 && S_ISREG(st.st_mode);
}

// Host paths. The spare left by the last save, when there is one, becomes the temporary file; the
// new content goes there, and one rename swaps it with the final file, whose old content then
// becomes the spare. No file is made or freed, and no temporary file stays once the save is done.
bool write_keeping_spare(const char* tmp, const char* final_path, const void* bytes,
                         size_t length) {
  if (!*tmp || !*final_path) return false;  // a path too long for the host
  // Storage writes a sector whole, so content that fits one cannot be torn by a power cut while
  // it is written over the spare; a longer file is made new, as every other save makes it.
  const bool reuse = length <= kSpareContentMax;
  const std::string spare = std::string(final_path) + kSpareSuffix;
  if (reuse) rename(spare.c_str(), tmp);  // none yet: the open makes the temporary file
  const int fd = open(tmp, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = write_whole(fd, bytes, length);
  const bool closed = close(fd) == 0;
  if (!written || !closed) {
    unlink(tmp);
    return false;
  }
  // A folder or a link in the final file's place is replaced (or refused) as a plain rename does.
  if (reuse && is_regular_file(final_path) &&
      renameat2(AT_FDCWD, tmp, AT_FDCWD, final_path, RENAME_EXCHANGE) == 0) {
    if (rename(tmp, spare.c_str()) == 0) {
      const std::lock_guard lock(spares().mu);
      spares().paths.insert(spare);
    } else {
      unlink(tmp);
    }
  } else if (rename(tmp, final_path) != 0) {  // nothing to swap with, or no swapping here
    return false;
  }
  sync_later(final_path);
  return true;
}

bool write_atomic(const char* path, const void* bytes, size_t length) {
  char tmp[kTmpPathSize];
  path_with_tmp_suffix(tmp, path);
  FILE* f = qlp_fopen(tmp, "wb");
  if (!f) return false;
  if (fwrite(bytes, 1, length, f) != length) {
    fclose(f);
    qlp_remove(tmp);
    return false;
  }
  return commit_device_paths(f, tmp, path, Sync::Now);
}
}  // namespace

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
  return write_atomic(path, bytes, length);
}

bool file_write_atomic_sync_later(const char* path, const void* bytes, size_t length) {
  char tmp[kTmpPathSize], tmp_buf[kQlPathMax], final_buf[kQlPathMax];
  if (!*path_with_tmp_suffix(tmp, path)) return false;
  return write_keeping_spare(ql_path(tmp, tmp_buf, sizeof tmp_buf),
                             ql_path(path, final_buf, sizeof final_buf), bytes, length);
}

size_t file_drop_spares() {
  std::set<std::string> paths;
  {
    const std::lock_guard lock(spares().mu);
    paths.swap(spares().paths);
  }
  size_t removed = 0;
  for (const std::string& spare : paths) removed += unlink(spare.c_str()) == 0 ? 1 : 0;
  return removed;
}
