#include "base/atomic_file.h"

#include <cstring>
#include <unistd.h>

#include "base/paths.h"

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
// Host paths.
bool commit(FILE* stream, const char* tmp_path, const char* final_path, bool sync) {
  if (ferror(stream) || fflush(stream) != 0) {
    fclose(stream);
    remove(tmp_path);
    return false;
  }
  bool synced = !sync || fsync(fileno(stream)) == 0;
  bool closed = fclose(stream) == 0;
  if (!synced || !closed) {
    remove(tmp_path);
    return false;
  }
  return rename(tmp_path, final_path) == 0;
}

bool commit_device_paths(FILE* stream, const char* tmp_path, const char* final_path, bool sync) {
  char tmp_buf[kQlPathMax], final_buf[kQlPathMax];
  return commit(stream, ql_path(tmp_path, tmp_buf, sizeof tmp_buf),
                ql_path(final_path, final_buf, sizeof final_buf), sync);
}
}  // namespace

bool file_commit(FILE* stream, const char* tmp_path, const char* final_path) {
  return commit_device_paths(stream, tmp_path, final_path, true);
}

bool file_commit_host(FILE* stream, const char* tmp_path, const char* final_path) {
  return commit(stream, tmp_path, final_path, true);
}

bool file_commit_unsynced(FILE* stream, const char* tmp_path, const char* final_path) {
  return commit_device_paths(stream, tmp_path, final_path, false);
}

bool file_write_atomic(const char* path, const void* bytes, size_t length) {
  char tmp[kTmpPathSize];
  path_with_tmp_suffix(tmp, path);
  FILE* f = qlp_fopen(tmp, "wb");
  if (!f) return false;
  if (fwrite(bytes, 1, length, f) != length) {
    fclose(f);
    qlp_remove(tmp);
    return false;
  }
  return file_commit(f, tmp, path);
}
