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

bool file_commit(FILE* stream, const char* tmp_path, const char* final_path) {
  if (ferror(stream) || fflush(stream) != 0) {
    fclose(stream);
    qlp_remove(tmp_path);
    return false;
  }
  bool synced = fsync(fileno(stream)) == 0;
  bool closed = fclose(stream) == 0;
  if (!synced || !closed) {
    qlp_remove(tmp_path);
    return false;
  }
  return qlp_rename(tmp_path, final_path) == 0;
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
