#include "base/atomic_file.h"

#include <cstring>
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
enum class Sync { Now, Later, Never };

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
  if (rename(tmp_path, final_path) != 0) return false;
  if (sync == Sync::Later) sync_later(final_path);
  return true;
}

bool commit_device_paths(FILE* stream, const char* tmp_path, const char* final_path, Sync sync) {
  char tmp_buf[kQlPathMax], final_buf[kQlPathMax];
  return commit(stream, ql_path(tmp_path, tmp_buf, sizeof tmp_buf),
                ql_path(final_path, final_buf, sizeof final_buf), sync);
}

bool write_atomic(const char* path, const void* bytes, size_t length, Sync sync) {
  char tmp[kTmpPathSize];
  path_with_tmp_suffix(tmp, path);
  FILE* f = qlp_fopen(tmp, "wb");
  if (!f) return false;
  if (fwrite(bytes, 1, length, f) != length) {
    fclose(f);
    qlp_remove(tmp);
    return false;
  }
  return commit_device_paths(f, tmp, path, sync);
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

bool file_commit_sync_later(FILE* stream, const char* tmp_path, const char* final_path) {
  return commit_device_paths(stream, tmp_path, final_path, Sync::Later);
}

bool file_write_atomic(const char* path, const void* bytes, size_t length) {
  return write_atomic(path, bytes, length, Sync::Now);
}

bool file_write_atomic_sync_later(const char* path, const void* bytes, size_t length) {
  return write_atomic(path, bytes, length, Sync::Later);
}
