#include "host/leftovers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_copy.h"
#include "host/data_folder.h"
#include "host/folder_lock.h"

namespace fs = std::filesystem;

namespace {
// Temporary files of an atomic write (".tmp") and of a download or a converted book (".part"):
// in the state folder only the program writes them.
bool is_temporary_name(std::string_view name) {
  return name.ends_with(".tmp") || name.ends_with(".part");
}

void remove_copy_parts(const std::string& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code remove_ec;
    if (is_copy_part_name(it->path().filename().string())) fs::remove_all(it->path(), remove_ec);
  }
}

// A save at a page turn that a power cut may have cut short is settled: the file it replaced may
// have to come back from its fallback (base/atomic_file.h).
void remove_temporaries(const std::string& folder, int depth) {
  std::vector<std::string> temporaries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    const fs::file_status st = it->symlink_status(type_ec);
    if (fs::is_directory(st) && depth > 0) {
      remove_temporaries(it->path().string(), depth - 1);
    } else if (fs::is_regular_file(st) && is_temporary_name(it->path().filename().string())) {
      temporaries.push_back(it->path().string());
    }
  }
  for (const std::string& path : temporaries) {
    if (path.ends_with(kFallbackSuffix)) {
      file_settle(path.substr(0, path.size() - strlen(kFallbackSuffix)));
    } else {
      std::error_code remove_ec;
      fs::remove(path, remove_ec);
    }
  }
}

void tidy_data_folder(const std::string& data) {
  remove_copy_parts(data + "/documents");
  remove_copy_parts(data + "/ql/bundled");
  remove_temporaries(data + "/ql/state", 1);
}
}  // namespace

void host_remove_stale_tmp_roots() {
  std::error_code ec;
  for (fs::directory_iterator it(host_tmp_base(), ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->path().filename().string().starts_with(kTmpRootPrefix)) continue;
    const std::string path = it->path().string();
    const std::optional<FolderLock> lock = FolderLock::try_exclusive(path, LastLink::Refuse);
    if (!lock || lock->owner() != geteuid()) continue;
    std::error_code remove_ec;
    fs::remove_all(path, remove_ec);
  }
}

void host_hold_data_folder(const std::string& data, bool tidy) {
  std::optional<FolderLock> lock =
      tidy ? FolderLock::try_exclusive(data, LastLink::Follow) : std::nullopt;
  if (lock) {
    tidy_data_folder(data);
    if (!lock->share()) lock.reset();
  }
  if (!lock) lock = FolderLock::shared(data, LastLink::Follow);
  if (!lock) {
    fprintf(stderr, "quillo: cannot lock the data folder %s: %s\n", data.c_str(), strerror(errno));
    return;
  }
  lock->hold_for_life();
}
