#include "host/leftovers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/file_copy.h"
#include "base/paths.h"
#include "host/data_folder.h"
#include "host/folder_lock.h"

namespace fs = std::filesystem;

namespace {
// Temporary files of an atomic write (".tmp") and of a download or a converted book (".part"):
// in the state folder only the program writes them.
bool is_temporary_name(std::string_view name) {
  return name.ends_with(".tmp") || name.ends_with(".part");
}

// Calls visit(dir, entry) for each entry of `folder` but "." and "..". Names come without a call
// for each, so a folder of thousands of books' files is read at the cost of reading the folder.
template <class Visit>
void for_each_entry(const std::string& folder, Visit visit) {
  DirPtr dir{opendir(folder.c_str())};
  if (!dir) return;
  while (const dirent* e = readdir(dir.get())) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") visit(dir.get(), *e);
  }
}

// The type an entry names without following a link: DT_DIR or another. Most file systems give it
// with the name.
unsigned char entry_type(DIR* dir, const dirent& e) {
  if (e.d_type != DT_UNKNOWN) return e.d_type;
  struct stat st;
  if (fstatat(dirfd(dir), e.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
  return S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
}

void remove_copy_parts(const std::string& folder) {
  std::vector<std::string> parts;
  for_each_entry(folder, [&](DIR*, const dirent& e) {
    if (is_copy_part_name(e.d_name)) parts.push_back(folder + "/" + e.d_name);
  });
  for (const std::string& path : parts) {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
}

// Whatever sits at a temporary name goes, of any type (a file, a link, a folder, a FIFO), and is
// never followed: a save would only remove it itself. Links are followed neither into a folder
// nor to a file.
void remove_temporaries(const std::string& folder, int depth) {
  std::vector<std::string> temporaries;
  for_each_entry(folder, [&](DIR* dir, const dirent& e) {
    if (is_temporary_name(e.d_name)) {
      temporaries.push_back(folder + "/" + e.d_name);
    } else if (depth > 0 && entry_type(dir, e) == DT_DIR) {
      remove_temporaries(folder + "/" + e.d_name, depth - 1);
    }
  });
  for (const std::string& path : temporaries) {
    std::error_code remove_ec;
    fs::remove_all(path, remove_ec);
  }
}

void tidy_data_folder(const std::string& data) {
  remove_copy_parts(data + "/documents");
  remove_copy_parts(data + "/ql/bundled");
  remove_temporaries(data + "/ql/state", 1);
}
}  // namespace

void host_remove_stale_tmp_roots() {
  const std::string base = host_tmp_base();
  std::vector<std::string> roots;
  for_each_entry(base, [&](DIR*, const dirent& e) {
    if (std::string_view(e.d_name).starts_with(kTmpRootPrefix)) roots.push_back(base + "/" + e.d_name);
  });
  for (const std::string& path : roots) {
    const std::optional<FolderLock> lock = FolderLock::try_exclusive(path, LastLink::Refuse);
    if (!lock || lock->owner() != geteuid()) continue;
    std::error_code remove_ec;
    fs::remove_all(path, remove_ec);
  }
}

void host_hold_data_folder(const std::string& data, bool tidy) {
  // The "ql" folder: the data folder itself carries the one interactive program's claim.
  const std::string held = data + "/ql";
  std::optional<FolderLock> lock =
      tidy ? FolderLock::try_exclusive(held, LastLink::Follow) : std::nullopt;
  if (lock) {
    tidy_data_folder(data);
    if (!lock->share()) lock.reset();
  }
  if (!lock) lock = FolderLock::shared(held, LastLink::Follow);
  if (!lock) {
    fprintf(stderr, "quillo: cannot lock the folder %s: %s\n", held.c_str(), strerror(errno));
    return;
  }
  lock->hold_for_life();
}
