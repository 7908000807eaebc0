#include "host/data_folder.h"

#include "base/file_copy.h"
#include "host/folder_lock.h"
#include "host/plat.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char* nonempty_env(const char* name) {
  const char* v = getenv(name);
  return v && *v ? v : nullptr;
}

// A plain array: it must outlive every static destructor that runs at exit.
char tmp_root[4096];

// Set before the core thread starts, read by it.
std::string start_notice;

constexpr int kTmpRootAttempts = 8;

std::string home_folder() {
  if (const char* home = nonempty_env("HOME")) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}
}  // namespace

std::string host_data_folder() {
  if (const char* data = nonempty_env("CVNL_DATA")) return data;
  // Relative values are invalid in the XDG scheme and are ignored.
  const char* xdg = nonempty_env("XDG_DATA_HOME");
  std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : home_folder() + "/.local/share";
  if (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/" + kDataFolderName;
}

int host_make_data_folders(const std::string& data) {
  int error = 0;
  for (const char* sub : {"documents", "ql/state", "ql/trash", "ql/bundled"}) {
    if (!make_folders(data + "/" + sub) && error == 0) error = errno;
  }
  return error;
}

DataFolderClaim host_claim_data_folder(const std::string& data) {
  make_folders(data);
  std::optional<FolderLock> lock = FolderLock::try_exclusive(data, LastLink::Follow);
  if (!lock) {
    return errno == EWOULDBLOCK ? DataFolderClaim::TakenByAnother : DataFolderClaim::Unlocked;
  }
  lock->hold_for_life();
  return DataFolderClaim::Ours;
}

std::string host_data_folder_problem(const std::string& data, int make_error) {
  int error = make_error;
  if (error == 0 && access((data + "/ql/state").c_str(), W_OK) != 0) error = errno;
  if (error == 0) return "";
  return "The data folder " + data + " cannot be written: " + strerror(error) +
         ". Reading positions, notes and settings will not be saved.";
}

void host_keep_start_notice(std::string text) { start_notice = std::move(text); }

std::string plat_start_notice() { return start_notice; }

std::string host_tmp_base() {
  const char* base = nonempty_env("TMPDIR");
  return base ? base : "/tmp";
}

std::string host_make_tmp_root() {
  for (int attempt = 0; attempt < kTmpRootAttempts; attempt++) {
    std::string path = host_tmp_base() + "/" + kTmpRootPrefix + "XXXXXX";
    if (!mkdtemp(path.data())) return "";
    // Another program's start may have taken the new folder for a left-over one before the lock
    // was in place, and removed it: then make another. On a file system without locks the folder
    // serves unlocked (no start can take its lock to remove it either).
    std::optional<FolderLock> lock = FolderLock::shared(path, LastLink::Refuse);
    struct stat st;
    if (!lock && stat(path.c_str(), &st) == 0) return path;
    if (lock && lock->names(path)) {
      lock->hold_for_life();
      return path;
    }
  }
  return "";
}

void host_remove_tmp_root() {
  std::error_code ec;
  if (tmp_root[0]) std::filesystem::remove_all(tmp_root, ec);
}

void host_remove_at_exit(const std::string& tmp) {
  if (tmp.empty() || tmp.size() >= sizeof tmp_root) return;
  const bool registered = tmp_root[0] != '\0';
  memcpy(tmp_root, tmp.c_str(), tmp.size() + 1);
  if (!registered) atexit(host_remove_tmp_root);
}
