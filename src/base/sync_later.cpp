#include "base/sync_later.h"

#include <condition_variable>
#include <fcntl.h>
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
  std::condition_variable queued;  // a folder was queued, or a flush ended
  std::set<std::string> folders;   // waiting for a flush
  bool flushing = false;           // a flush is under way (its folders already taken out)
  bool thread_started = false;
  Clock::time_point last_flush{};
};

// Never destroyed: the flushing thread may still use it while the process exits.
SyncQueue& queue() {
  static SyncQueue* q = new SyncQueue;
  return *q;
}

void sync_folder(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Takes the queued folders out, marks a flush under way, syncs them outside the lock and ends the
// flush. The caller holds the lock. The number of folders synced.
size_t flush(SyncQueue& q, std::unique_lock<std::mutex>& lock) {
  std::set<std::string> folders;
  folders.swap(q.folders);
  q.flushing = true;
  lock.unlock();
  for (const std::string& path : folders) sync_folder(path);
  lock.lock();
  q.flushing = false;
  q.last_flush = Clock::now();
  q.queued.notify_all();
  return folders.size();
}

void flush_thread() {
  SyncQueue& q = queue();
  std::unique_lock lock(q.mu);
  for (;;) {
    q.queued.wait(lock, [&] { return !q.folders.empty() && !q.flushing; });
    // Saves close together share one flush.
    const auto due = q.last_flush + kSyncLaterPeriod;
    if (Clock::now() < due) {
      q.queued.wait_until(lock, due);
      continue;  // looks again: a flush at the end of the process may have taken the folders
    }
    flush(q, lock);
  }
}

}  // namespace

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void sync_folder_later(const std::string& host_folder) {
  SyncQueue& q = queue();
  bool first = false;
  {
    std::lock_guard lock(q.mu);
    // Only a queue that was empty has the thread waiting for it: with folders already queued it is
    // asleep until its flush is due, and waking it at every page turn would cost a switch there.
    first = q.folders.empty();
    q.folders.insert(host_folder);
    if (!q.thread_started) {
      try {
        std::thread(flush_thread).detach();
        q.thread_started = true;
        // The first flush too waits its period: the saves of a start reach the disk after the
        // first page is shown, not before.
        q.last_flush = Clock::now();
      } catch (const std::system_error&) {
        // No thread now: the folders wait for the next save's try or the flush at the end.
      }
    }
  }
  if (first) q.queued.notify_all();
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
  return q.folders.size();
}
