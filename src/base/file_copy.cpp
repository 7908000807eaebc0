#include "base/file_copy.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "base/atomic_file.h"
#include "base/paths.h"

namespace {

constexpr size_t kCopyBlock = 64 * 1024;
constexpr int kPartNameTries = 100;

std::atomic<unsigned> part_serial{0};

// A new file at `path` for writing. Created exclusively, so a link planted at the name is never
// followed.
FilePtr create_new(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    unlink(path);
  }
  return FilePtr(f);
}

bool copy_bytes(FILE* in, FILE* out, const CopyStop* stop) {
  auto block = std::make_unique<char[]>(kCopyBlock);
  for (;;) {
    if (stop && stop->is_stopped()) {
      errno = ECANCELED;
      return false;
    }
    const size_t got = fread(block.get(), 1, kCopyBlock, in);
    if (got > 0 && fwrite(block.get(), 1, got, out) != got) return false;
    if (got < kCopyBlock) return !ferror(in);
  }
}

}  // namespace

bool is_copy_part_name(std::string_view name) { return name.starts_with(kCopyPartPrefix); }

std::string create_copy_part(const std::string& dst,
                             const std::function<bool(const std::string&)>& create) {
  const size_t slash = dst.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : dst.substr(0, slash + 1);
  for (int i = 0; i < kPartNameTries; i++) {
    const std::string part = folder + std::string(kCopyPartPrefix) + std::to_string(getpid()) +
                             "-" + std::to_string(part_serial++);
    if (create(part)) return part;
    if (errno != EEXIST) break;
  }
  return "";
}

bool copy_new_file(const std::string& src, const std::string& dst, const CopyStop* stop) {
  FilePtr in(fopen(src.c_str(), "rb"));
  if (!in) return false;
  FilePtr out = create_new(dst.c_str());
  if (!out) return false;
  bool ok = copy_bytes(in.get(), out.get(), stop) && fflush(out.get()) == 0 &&
            fsync(fileno(out.get())) == 0;
  ok = fclose(out.release()) == 0 && ok;
  if (!ok) unlink(dst.c_str());
  return ok;
}

bool copy_file(const std::string& src, const std::string& dst, bool replace, CopyStop* stop) {
  struct stat st;
  if (!replace && lstat(dst.c_str(), &st) == 0) return false;
  FilePtr in(fopen(src.c_str(), "rb"));
  if (!in) return false;
  FilePtr out;
  const std::string part = create_copy_part(dst, [&out](const std::string& name) {
    out = create_new(name.c_str());
    return out != nullptr;
  });
  if (part.empty()) return false;
  bool written = (!stop || stop->hold(part)) && copy_bytes(in.get(), out.get(), stop);
  // A copy that may be called off puts its bytes on the disk before it asks to be put in place:
  // that flush can take seconds on slow storage, and the call-off must not wait for it. The commit
  // then finds nothing left to write.
  if (written && stop) written = fflush(out.get()) == 0 && fsync(fileno(out.get())) == 0;
  if (written) {
    const auto commit = [&] { return file_commit_host(out.release(), part.c_str(), dst.c_str()); };
    if (stop ? stop->put_in_place(commit) : commit()) return true;
  }
  out.reset();
  unlink(part.c_str());  // a failed rename, or a copy called off, leaves it
  return false;
}

bool make_folders(const std::string& path) {
  // The folder itself first: at every start but the first it is there, and its parents are made
  // only when it cannot be.
  int error = mkdir(path.c_str(), 0755) == 0 ? 0 : errno;
  if (error == ENOENT) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0 || !make_folders(path.substr(0, slash))) return false;
    error = mkdir(path.c_str(), 0755) == 0 ? 0 : errno;
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  // Why the folder is not there: a read-only storage, say, rather than the stat's "no such file".
  errno = error != 0 && error != EEXIST ? error : ENOTDIR;
  return false;
}
