#include "host/add_books.h"

#include "base/file_copy.h"
#include "base/file_kinds.h"
#include "base/free_name.h"
#include "base/paths.h"
#include "host/host_queue.h"
#include "host/main_thread.h"
#include "host/plat.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A stopped copy needs at most one block to notice and remove what it wrote; one in its last flush
// may still be put in place until the quit gives up on it.
constexpr int kStopWaitMs = 100;

struct Batch {
  std::vector<std::string> paths;
  std::string documents;
};

// The books handed over for copying, the thread that copies them one at a time, and the quit's
// word to the copy under way. Never destroyed: a copy may still run while the process exits.
// Two locks: `mu` for what the handing over touches, and `gate`, held while a copy is put in place
// and while the quit gives up (then with `mu`, taken second), so that the thread handing books
// over never waits for a rename.
struct CopiesUnderWay final : CopyStop {
  std::mutex mu;
  std::condition_variable changed;   // a batch was handed over or finished, a book arrived
  std::deque<Batch> queued;          // handed over and not begun
  std::vector<std::string> names;    // handed over and neither arrived nor failed by itself
  int unfinished = 0;                // batches queued or being copied
  bool thread_started = false;
  std::atomic<bool> stopped{false};  // set by the quit: no block more, no copy begins
  std::mutex gate;
  bool given_up = false;  // set under both by the quit: nothing is put in place, the rest are named
  std::string current;    // the name of the book being copied, as in `names` (under `gate`)
  std::string held;       // its part, which giving up removes if still there (under `gate`)

  void drop_name(const std::string& name) {
    if (auto it = std::ranges::find(names, name); it != names.end()) names.erase(it);
  }

  bool is_stopped() const override { return stopped; }

  bool hold(const std::string& part) override {
    std::lock_guard lock(gate);
    if (given_up) {
      errno = ECANCELED;
      return false;
    }
    held = part;
    return true;
  }

  bool put_in_place(const std::function<bool()>& put) override {
    std::lock_guard lock(gate);
    held.clear();
    if (given_up) {
      errno = ECANCELED;
      return false;
    }
    if (!put()) return false;
    // Still under the gate, which the quit names the rest under: no book is both put in place
    // and named.
    std::lock_guard names_lock(mu);
    drop_name(current);
    changed.notify_all();
    return true;
  }
};

CopiesUnderWay& copies() {
  static CopiesUnderWay* c = new CopiesUnderWay;
  return *c;
}

void remove_tree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
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

// Whether `src` is taken into `documents`: a book file (by its extension) or a folder that does
// not hold `documents`.
bool is_taken(const std::string& src, const std::string& documents, bool* folder) {
  struct stat st;
  if (stat(src.c_str(), &st) != 0) return false;
  const std::string name = last_component(src);
  if (name.empty() || name == "/" || name == "." || name == "..") return false;
  *folder = S_ISDIR(st.st_mode);
  if (*folder) return !path_is_within(documents.c_str(), src.c_str());  // never into itself
  return S_ISREG(st.st_mode) && is_accepted_by_drop(name);
}

// One item through its part name and a rename: a failed copy leaves nothing behind, and a kill
// leaves only a hidden name the next start removes.
bool copy_item(const std::string& src, const std::string& documents, CopyStop& stop) {
  bool folder = false;
  if (!is_taken(src, documents, &folder)) return false;
  const std::string target = free_target(documents, last_component(src), folder);
  if (target.empty()) return false;
  if (!folder) return copy_file(src, target, false, &stop);
  const std::string part = create_copy_part(
      target, [](const std::string& name) { return mkdir(name.c_str(), 0755) == 0; });
  if (part.empty()) return false;
  const bool added = stop.hold(part) && copy_tree(src, part, stop) && stop.put_in_place([&] {
    return !exists(target) && rename(part.c_str(), target.c_str()) == 0;
  });
  if (!added) remove_tree(part);
  return added;
}

// The copying thread: one batch after another, in the order they were handed over.
void* copy_handed_over(void*) {
  CopiesUnderWay& c = copies();
  for (;;) {
    Batch batch;
    {
      std::unique_lock lock(c.mu);
      c.changed.wait(lock, [&c] { return !c.queued.empty(); });
      batch = std::move(c.queued.front());
      c.queued.pop_front();
    }
    // Told before the batch counts as finished, so that whoever waits for it finds the news.
    if (copy_books_into(batch.paths, batch.documents) >= 1) host_push(HOST_BOOKS_ADDED, 0, 0);
    std::lock_guard lock(c.mu);
    c.unfinished--;
    c.changed.notify_all();
  }
}

}  // namespace

int copy_books_into(const std::vector<std::string>& paths, const std::string& documents) {
  CopiesUnderWay& c = copies();
  int count = 0;
  for (const std::string& p : paths) {
    const std::string name = last_component(p);
    if (c.stopped) break;  // the names left are the quit's to tell
    {
      std::lock_guard lock(c.gate);
      c.current = name;
    }
    const bool added = copy_item(p, documents, c);
    count += added;
    // An arrival was told as the book was put in place. A copy the quit stopped stays named; one
    // that failed by itself was never coming.
    std::lock_guard lock(c.mu);
    if (!added && !c.stopped) c.drop_name(name);
    c.changed.notify_all();
  }
  return count;
}

int add_books(const std::vector<std::string>& paths) {
  char buf[kQlPathMax];
  const char* documents = ql_path("/mnt/us/documents", buf, sizeof buf);
  if (!*documents) return 0;
  Batch batch{{}, documents};
  for (const std::string& p : paths) {
    bool folder;
    if (is_taken(p, batch.documents, &folder)) batch.paths.push_back(p);
  }
  const int taken = static_cast<int>(batch.paths.size());
  if (taken == 0) return 0;
  CopiesUnderWay& c = copies();
  std::lock_guard lock(c.mu);
  if (c.given_up) {
    // The quit has told what did not arrive; the log tells this too.
    for (const std::string& p : batch.paths) {
      fprintf(stderr, "quillo: at quit: not copied into the library: %s\n", p.c_str());
    }
    return 0;
  }
  if (!c.thread_started) {
    c.thread_started = plat_thread(copy_handed_over, nullptr) == 1;
    if (!c.thread_started) {
      fprintf(stderr, "quillo: cannot start copying books into the library\n");
      return 0;
    }
  }
  for (const std::string& p : batch.paths) c.names.push_back(last_component(p));
  c.queued.push_back(std::move(batch));
  c.unfinished++;
  c.changed.notify_all();
  return taken;
}

bool wait_added_books(int timeout_ms) {
  CopiesUnderWay& c = copies();
  std::unique_lock lock(c.mu);
  return c.changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&c] { return c.unfinished == 0; });
}

std::vector<std::string> plat_finish_copies(int reserve_ms) {
  CopiesUnderWay& c = copies();
  const auto all_done = [&c] { return c.unfinished == 0; };
  const auto now = std::chrono::steady_clock::now();
  const auto give_up_at =
      now + std::chrono::milliseconds(std::max(host_quit_grace_left_ms() - reserve_ms, 0));
  {
    std::unique_lock lock(c.mu);
    c.changed.wait_until(lock, std::max(now, give_up_at - std::chrono::milliseconds(kStopWaitMs)),
                         all_done);
    c.stopped = true;
    c.changed.wait_until(lock, give_up_at, all_done);
  }
  // A copy still under way (in its last flush, which nothing can cut short) is put in place no
  // more, and its part goes now, however long the flush takes.
  std::scoped_lock both(c.gate, c.mu);
  c.given_up = true;
  if (!c.held.empty()) remove_tree(c.held);
  c.held.clear();
  return c.names;
}
