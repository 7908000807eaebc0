#include "base/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
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

// What the saves at page turns keep beside their files (host paths): the files with a fallback,
// and the file a save replaced, kept for a later save to write over (the spare).
constexpr char kSpareSuffix[] = ".spare.tmp";
struct Saves {
  std::mutex mu;
  std::set<std::string> fallbacks;
  std::map<std::string, ino_t> spares;
};

// Never destroyed: a save may still run on the core thread while another thread ends the process.
Saves& saves() {
  static Saves* s = new Saves;
  return *s;
}

bool write_all(int fd, const void* bytes, size_t length) {
  const char* at = static_cast<const char*>(bytes);
  for (size_t done = 0; done < length;) {
    const ssize_t n = write(fd, at + done, length - done);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// A new file, never one already there: a temporary name a killed run left may be another name of
// a file someone keeps (a hard link of a backup) or a link to one, and writing into it would
// change that file.
int create_new(const char* path) {
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(path, flags, 0666);
  if (fd < 0 && errno == EEXIST && unlink(path) == 0) fd = open(path, flags, 0666);
  return fd;
}

bool is_regular_file(const char* host_path) {
  struct stat st;
  return lstat(host_path, &st) == 0 && S_ISREG(st.st_mode);
}

// Swaps two names; false when the file system cannot (FAT) or either name is missing.
bool swap_names(const char* a, const char* b) {
  return renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) == 0;
}

// Puts `from` in the place of `to`. Where both names exist they are swapped, leaving the old file
// under `from`: a rename over a file makes ext4 start writing the new one out at once, ten times
// the rest of the save, and a page turn must not wait for that.
bool replace(const char* from, const char* to) {
  return swap_names(from, to) || rename(from, to) == 0;
}

// Host paths. The new content, written under `from`, takes the final name. The file it replaces
// becomes the fallback only when it is on the disk: until the new one is flushed it is the last
// content a power cut cannot take; otherwise the fallback kept before stays. Every step leaves the
// final name or the fallback holding content that is on the disk. What was replaced may be left
// under `from`.
bool put_in_place(const char* from, const char* final_path, bool on_disk) {
  // A folder or a link in the final file's place is replaced (or refused) as a plain rename does.
  if (!is_regular_file(final_path)) return rename(from, final_path) == 0;
  if (!on_disk) return replace(from, final_path);
  const std::string fallback = std::string(final_path) + kFallbackSuffix;
  if (!replace(from, fallback.c_str())) return false;
  if (!swap_names(fallback.c_str(), final_path)) {
    // No swapping two names here (FAT): the old file moves aside before the new one comes in.
    if (rename(fallback.c_str(), from) != 0) return false;
    if (rename(final_path, fallback.c_str()) != 0) return false;
    if (rename(from, final_path) != 0) {
      rename(fallback.c_str(), final_path);
      return false;
    }
  }
  const std::lock_guard lock(saves().mu);
  saves().fallbacks.insert(final_path);
  return true;
}

// A save that comes before the last one was flushed writes over the file a save replaced, kept
// beside it as a spare: making a file costs ext4 more the more were freed just before, and a
// reader paging on turns faster than the flushes. A power cut may then find the file in place
// holding an earlier save, never nothing, and the fallback still stands beside it. When the file
// in place is on the disk the new content goes to a new file: one written over may read after a
// cut as what it held before, which no start could tell from a save.
int open_spare(const std::string& spare, const char* final_path) {
  ino_t kept;
  {
    const std::lock_guard lock(saves().mu);
    const auto it = saves().spares.find(final_path);
    if (it == saves().spares.end()) return -1;
    kept = it->second;
  }
  const int fd = open(spare.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  // Only that file, and only while no other name (a backup's hard link) shares it.
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_ino == kept) {
    return fd;
  }
  close(fd);
  return -1;
}

// The file a save replaced, left under `from`, becomes the spare.
void keep_spare(const char* from, const std::string& spare, const char* final_path) {
  struct stat st;
  bool kept = lstat(from, &st) == 0 && S_ISREG(st.st_mode);
  if (kept && from != spare) {
    kept = replace(from, spare.c_str());
    unlink(from);  // the spare before it, when the two were swapped
  }
  const std::lock_guard lock(saves().mu);
  if (kept) {
    saves().spares[final_path] = st.st_ino;
  } else {
    saves().spares.erase(final_path);
  }
}

// Whether the open file is a regular file of exactly these bytes.
bool fd_holds(int fd, const void* bytes, size_t length, struct stat& st) {
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) != length) return false;
  if (length == 0) return true;
  std::string held(length, '\0');
  return pread(fd, held.data(), length, 0) == static_cast<ssize_t>(length) &&
         memcmp(held.data(), bytes, length) == 0;
}

// A file that already holds these bytes has them written over themselves: its time moves on (a
// position file's time orders the Recent list) and it is seen written, while its content is the
// same at every moment, so a cut can take nothing from it and there is nothing new to flush. Only
// a regular file that no other name (a backup's hard link) shares.
bool write_over_same(const char* host_path, const void* bytes, size_t length) {
  if (length == 0) return false;
  const int fd = open(host_path, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool written = fd_holds(fd, bytes, length, st) && st.st_nlink == 1 &&
                       pwrite(fd, bytes, length, 0) == static_cast<ssize_t>(length);
  close(fd);
  return written;
}

bool write_sync_later(const char* tmp, const char* final_path, const void* bytes, size_t length) {
  if (!*tmp || !*final_path) return false;  // a path too long for the host
  if (write_over_same(final_path, bytes, length)) return true;
  const std::string spare = std::string(final_path) + kSpareSuffix;
  const bool on_disk = sync_later_on_disk(final_path);
  int fd = on_disk ? -1 : open_spare(spare, final_path);
  const bool reused = fd >= 0;
  const char* from = reused ? spare.c_str() : tmp;
  if (!reused) fd = create_new(tmp);
  if (fd < 0) return false;
  const bool written =
      write_all(fd, bytes, length) && (!reused || ftruncate(fd, static_cast<off_t>(length)) == 0);
  const bool closed = close(fd) == 0;
  if (!written || !closed) {
    unlink(from);
    return false;
  }
  // A temporary file stays, as after any failed rename.
  if (!put_in_place(from, final_path, on_disk)) return false;
  keep_spare(from, spare, final_path);
  sync_later(final_path);
  return true;
}

// Whether a file left by a save reads as content: not missing, empty or holding a zero byte, which
// is what a power cut leaves of data that never reached the disk.
bool holds_content(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[4096];
  size_t total = 0;
  ssize_t n;
  bool zero = false;
  while (!zero && (n = read(fd, buf, sizeof buf)) > 0) {
    total += static_cast<size_t>(n);
    zero = memchr(buf, 0, static_cast<size_t>(n)) != nullptr;
  }
  close(fd);
  return n == 0 && total > 0 && !zero;
}

bool holds_bytes(const char* host_path, const void* bytes, size_t length) {
  const int fd = open(host_path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool same = fd_holds(fd, bytes, length, st);
  close(fd);
  return same;
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
  return write_sync_later(ql_path(tmp, tmp_buf, sizeof tmp_buf),
                          ql_path(path, final_buf, sizeof final_buf), bytes, length);
}

bool file_update_sync_later(const char* path, const void* bytes, size_t length) {
  char buf[kQlPathMax];
  if (holds_bytes(ql_path(path, buf, sizeof buf), bytes, length)) return true;
  return file_write_atomic_sync_later(path, bytes, length);
}

size_t file_drop_fallbacks() {
  std::set<std::string> due;
  std::map<std::string, ino_t> spares;
  {
    const std::lock_guard lock(saves().mu);
    for (auto it = saves().fallbacks.begin(); it != saves().fallbacks.end();) {
      if (sync_later_on_disk(it->c_str())) {
        due.insert(*it);
        it = saves().fallbacks.erase(it);
      } else {
        ++it;
      }
    }
    spares.swap(saves().spares);
  }
  for (const auto& [path, inode] : spares) unlink((path + kSpareSuffix).c_str());
  size_t removed = 0;
  for (const std::string& path : due) removed += unlink((path + kFallbackSuffix).c_str()) == 0 ? 1 : 0;
  return removed;
}

void file_settle(const std::string& host_path) {
  const std::string fallback = host_path + kFallbackSuffix;
  if (!holds_content(host_path) && holds_content(fallback)) {
    sync_path_now(fallback);
    if (rename(fallback.c_str(), host_path.c_str()) == 0) {
      sync_path_now(folder_of(host_path));
      return;
    }
  }
  unlink(fallback.c_str());
}
