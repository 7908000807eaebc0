#include "base/system_services.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/statvfs.h>
#include <vector>

#include "base/file_copy.h"
#include "base/paths.h"
#include "base/ql_error.h"

void ql_leave() {}
void ql_wifi_set(int) {}
void ql_usb_modal(int) {}
void ql_usb_keep(int) {}
int ql_wifi_on() { return 0; }

namespace {
bool is_listed(const char* name) {
  return name[0] != '.' && strlen(name) <= kListNameMax && !strstr(name, ".tmp");
}
}  // namespace

int ql_list_dir(const char* dir, const char* out) {
  if (!out) return 0;
  std::vector<std::string> names;
  if (DirPtr d{dir ? qlp_opendir(dir) : nullptr}) {
    while (dirent* e = readdir(d.get())) {
      if (!is_listed(e->d_name)) continue;
      names.emplace_back(e->d_name);
      if (names.size() == kListDirMax) break;
    }
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return strcmp(a.c_str(), b.c_str()) < 0;
  });
  FILE* f = qlp_fopen(out, "w");
  if (!f) return 0;
  for (const std::string& n : names) fprintf(f, "%s\n", n.c_str());
  // A listing that did not reach the disk whole must not be read as complete.
  const bool written = !ferror(f);
  if (fclose(f) != 0 || !written) {
    ql_set_error("Cannot write %s", out);
    return 0;
  }
  return static_cast<int>(names.size());
}

int ql_copy_file(const char* src, const char* dst) {
  if (!src || !dst) return 0;
  char src_buf[kQlPathMax], dst_buf[kQlPathMax];
  const bool copied =
      copy_file(ql_path(src, src_buf, sizeof src_buf), ql_path(dst, dst_buf, sizeof dst_buf), false);
  return copied ? 1 : 0;
}

int64_t ql_file_size(const char* path) {
  struct stat st;
  return path && qlp_stat(path, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

int64_t ql_file_mtime(const char* path) {
  struct stat st;
  return path && qlp_stat(path, &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

int ql_disk(const char* path, int64_t* total_mb, int64_t* free_mb) {
  char buf[kQlPathMax];
  struct statvfs vfs;
  if (!path || statvfs(ql_path(path, buf, sizeof buf), &vfs) != 0) return -1;
  // trunc(blocks * size / 10^6), split so that the product cannot overflow.
  const uint64_t size = vfs.f_frsize;
  const auto mb = [size](uint64_t blocks) {
    return static_cast<int64_t>(blocks / 1000000 * size + blocks % 1000000 * size / 1000000);
  };
  if (total_mb) *total_mb = mb(vfs.f_blocks);
  if (free_mb) *free_mb = mb(vfs.f_bavail);
  return 0;
}
