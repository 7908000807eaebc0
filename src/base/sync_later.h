// Syncing files to the disk later, on a thread of their own: a small state file saved at every page
// turn is renamed into place at once, and reaches the disk within about a second without the saver
// waiting for it. A killed process loses nothing (the kernel holds the new file and writes it out);
// a power cut in that second may lose the new file's data, which is why the saver keeps the content
// it replaced while that is the last one known to be on the disk (base/atomic_file.h).
#pragma once
#include <chrono>
#include <cstddef>
#include <string>

// A flush of the queued files starts at most this often.
constexpr std::chrono::milliseconds kSyncLaterPeriod{1000};

// Queues a host path, and the folder holding it, for the next flush: the file just put there is
// not on the disk until a flush has synced it.
void sync_later(const char* host_path);
// False while the file last queued under `host_path` waits for its flush; true once it was synced,
// and for a path never queued (a file of an earlier run, put on the disk when that run ended).
bool sync_later_on_disk(const char* host_path);
// Flushes everything queued, on the calling thread, once a flush already under way has ended: for
// the end of the process. The number of files (folders included) flushed.
size_t sync_pending_now();
// Syncs the file or folder at a host path on the calling thread; false when it is gone (whatever
// took its place was queued itself) or the sync failed.
bool sync_path_now(const std::string& host_path);
// The folder holding a host path.
std::string folder_of(const std::string& host_path);
// The files queued and not yet taken by a flush.
size_t sync_later_queued();
