#include "host/add_books.h"

#include "base/file_copy.h"
#include "base/file_kinds.h"
#include "base/free_name.h"
#include "base/paths.h"
#include "host/host_queue.h"
#include "host/main_thread.h"
#include "host/plat.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A stopped copy needs at most one block to notice and remove what it wrote.
constexpr int kStopWaitMs = 100;

// The books being copied in, for a quit to wait for. Never destroyed: a copy may still run while
// the process exits.
struct CopiesUnderWay {
  std::mutex mu;
  std::condition_variable changed;
  std::vector<std::string> names;  // given to a copy and not yet arrived or refused
  int copying = 0;                 // copy_books_into calls under way
  CopyStop stop{false};            // the quit waits no longer: no copy goes on or starts
};

CopiesUnderWay& copies() {
  static CopiesUnderWay* c = new CopiesUnderWay;
  return *c;
}

std::string last_component(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// "Name.ext", then "Name (2).ext" ... "Name (999).ext"; a folder's name is numbered whole. A name
// that a number makes too long is shortened before its extension. Empty when none is free.
std::string free_target(const std::string& dir, const std::string& name, bool is_folder) {
  const auto [stem, ext] = split_extension(name, is_folder);
  const std::string free = free_name(stem, ext, kNameMax,
                                     [&dir](const std::string& n) { return exists(dir + "/" + n); });
  return free.empty() ? std::string() : dir + "/" + free;
}

// Copies everything in a folder into the folder `dst`. Links to files are copied as files; links to
// folders are left out, so a link cycle cannot make the copy endless. Devices, pipes and sockets
// are left out. The files go straight to their names: the whole folder is a part copy until it is
// renamed.
bool copy_tree(const std::string& src, const std::string& dst, const CopyStop& stop) {
  DirPtr dir(opendir(src.c_str()));
  if (!dir) return false;
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string from = src + "/" + name;
    const std::string to = dst + "/" + name;
    struct stat lst;
    if (lstat(from.c_str(), &lst) != 0) return false;
    const bool is_link = S_ISLNK(lst.st_mode);
    struct stat st = lst;
    if (is_link && stat(from.c_str(), &st) != 0) continue;  // dangling link
    if (S_ISDIR(st.st_mode)) {
      if (!is_link && (mkdir(to.c_str(), 0755) != 0 || !copy_tree(from, to, stop))) return false;
    } else if (S_ISREG(st.st_mode)) {
      if (!copy_new_file(from, to, &stop)) return false;
    }
  }
  return true;
}

void remove_tree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

// One item through its part name and a rename: a failed copy leaves nothing behind, and a kill
// leaves only a hidden name the next start removes.
bool copy_item(const std::string& src, const std::string& documents, const CopyStop& stop) {
  struct stat st;
  if (stat(src.c_str(), &st) != 0) return false;
  const std::string name = last_component(src);
  if (name.empty() || name == "/" || name == "." || name == "..") return false;
  const bool folder = S_ISDIR(st.st_mode);
  if (folder) {
    if (path_is_within(documents.c_str(), src.c_str())) return false;  // never into itself
  } else if (!S_ISREG(st.st_mode) || !is_accepted_by_drop(name)) {
    return false;
  }
  const std::string target = free_target(documents, name, folder);
  if (target.empty()) return false;
  if (!folder) return copy_file(src, target, false, &stop);
  const std::string part = create_copy_part(
      target, [](const std::string& name) { return mkdir(name.c_str(), 0755) == 0; });
  if (part.empty()) return false;
  if (!copy_tree(src, part, stop) || exists(target) || rename(part.c_str(), target.c_str()) != 0) {
    remove_tree(part);
    return false;
  }
  return true;
}

}  // namespace

int copy_books_into(const std::vector<std::string>& paths, const std::string& documents) {
  CopiesUnderWay& c = copies();
  {
    std::lock_guard lock(c.mu);
    if (c.stop) return 0;
    for (const std::string& p : paths) c.names.push_back(last_component(p));
    c.copying++;
  }
  int count = 0;
  for (const std::string& p : paths) {
    if (c.stop) break;  // the names left are the quit's to tell
    const bool added = copy_item(p, documents, c.stop);
    count += added;
    std::lock_guard lock(c.mu);
    // A copy the quit stopped stays named; one that failed by itself was never coming.
    if (added || !c.stop) c.names.erase(std::ranges::find(c.names, last_component(p)));
    c.changed.notify_all();
  }
  std::lock_guard lock(c.mu);
  c.copying--;
  c.changed.notify_all();
  return count;
}

int add_books(const std::vector<std::string>& paths) {
  char buf[kQlPathMax];
  const char* documents = ql_path("/mnt/us/documents", buf, sizeof buf);
  if (!*documents) return 0;
  const int count = copy_books_into(paths, documents);
  if (count >= 1) host_push(HOST_BOOKS_ADDED, 0, 0);
  return count;
}

std::vector<std::string> plat_finish_copies(int reserve_ms) {
  CopiesUnderWay& c = copies();
  std::unique_lock lock(c.mu);
  const auto wait = std::chrono::milliseconds(std::max(host_quit_grace_left_ms() - reserve_ms, 0));
  c.changed.wait_for(lock, wait, [&c] { return c.copying == 0; });
  c.stop = true;
  // Stopped copies remove what they wrote before the process ends, so nothing waits for a start.
  c.changed.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [&c] { return c.copying == 0; });
  return c.names;
}
