#include "base/sync_later.h"

#include <condition_variable>
#include <cstdint>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct SyncQueue {
  std::mutex mu;
  std::condition_variable queued;  // a path was queued, or a flush ended
  std::set<std::string> files;     // waiting for a flush
  std::set<std::string> folders;   // holding them: synced after the files, for their renames
  // Paths whose newest file waits for a flush, each with the number of the save that put it there.
  std::map<std::string, uint64_t> unsynced;
  uint64_t saves = 0;
  bool flushing = false;           // a flush is under way (its paths already taken out)
  bool thread_started = false;
  Clock::time_point last_flush{};
};

// Never destroyed: the flushing thread may still use it while the process exits.
SyncQueue& queue() {
  static SyncQueue* q = new SyncQueue;
  return *q;
}

// Takes the queued paths out, marks a flush under way, syncs them outside the lock (a file's data
// before the folder entry that names it) and ends the flush. The caller holds the lock. The number
// of paths synced.
size_t flush(SyncQueue& q, std::unique_lock<std::mutex>& lock) {
  std::set<std::string> folders;
  std::map<std::string, uint64_t> files;  // with the save each was queued by
  for (const std::string& path : q.files) files.emplace(path, q.unsynced[path]);
  q.files.clear();
  folders.swap(q.folders);
  q.flushing = true;
  lock.unlock();
  std::set<std::string> synced;
  for (const auto& [path, save] : files) {
    if (sync_path_now(path)) synced.insert(path);
  }
  for (const std::string& path : folders) sync_path_now(path);
  lock.lock();
  // A path saved again meanwhile may name a file the flush did not see: it waits for the next one.
  for (const std::string& path : synced) {
    const auto it = q.unsynced.find(path);
    if (it != q.unsynced.end() && it->second == files[path]) q.unsynced.erase(it);
  }
  q.flushing = false;
  q.last_flush = Clock::now();
  q.queued.notify_all();
  return files.size() + folders.size();
}

void flush_thread() {
  SyncQueue& q = queue();
  std::unique_lock lock(q.mu);
  for (;;) {
    q.queued.wait(lock, [&] { return !q.files.empty() && !q.flushing; });
    // Saves close together share one flush.
    const auto due = q.last_flush + kSyncLaterPeriod;
    if (Clock::now() < due) {
      q.queued.wait_until(lock, due);
      continue;  // looks again: a flush at the end of the process may have taken the paths
    }
    flush(q, lock);
  }
}

}  // namespace

bool sync_path_now(const std::string& host_path) {
  const int fd = open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void sync_later(const char* host_path) {
  SyncQueue& q = queue();
  bool first = false;
  {
    std::lock_guard lock(q.mu);
    // Only a queue that was empty has the thread waiting for it: with files already queued it is
    // asleep until its flush is due, and waking it at every page turn would cost a switch there.
    first = q.files.empty();
    q.files.insert(host_path);
    q.unsynced[host_path] = ++q.saves;
    q.folders.insert(folder_of(host_path));
    if (!q.thread_started) {
      try {
        std::thread(flush_thread).detach();
        q.thread_started = true;
        // The first flush too waits its period: the saves of a start (its state files, the book's
        // position) reach the disk after the first page is shown, not before.
        q.last_flush = Clock::now();
      } catch (const std::system_error&) {
        // No thread now: the paths wait for the next save's try or the flush at the end.
      }
    }
  }
  if (first) q.queued.notify_all();
}

bool sync_later_on_disk(const char* host_path) {
  SyncQueue& q = queue();
  std::lock_guard lock(q.mu);
  return !q.unsynced.contains(host_path);
}

size_t sync_pending_now() {
  SyncQueue& q = queue();
  std::unique_lock lock(q.mu);
  q.queued.wait(lock, [&] { return !q.flushing; });
  return flush(q, lock);
}

size_t sync_later_queued() {
  SyncQueue& q = queue();
  std::lock_guard lock(q.mu);
  return q.files.size();
}
