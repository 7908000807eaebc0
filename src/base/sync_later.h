// Flushing folders later, on a thread of their own. A saved file is synced before the rename that
// puts it in place (base/atomic_file.h); the folder that records the rename reaches the disk within
// about a second, without the saver waiting for it: a page turn must not. Until then a power cut
// may bring back the file the rename replaced, which is whole and was saved too.
#pragma once
#include <chrono>
#include <cstddef>
#include <string>

// A flush of the queued folders starts at most this often.
constexpr std::chrono::milliseconds kSyncLaterPeriod{1000};

// Queues a host folder for the next flush.
void sync_folder_later(const std::string& host_folder);
// Flushes everything queued, on the calling thread, once a flush already under way has ended: for
// the end of the process. The number of folders flushed.
size_t sync_pending_now();
// The folders queued and not yet taken by a flush.
size_t sync_later_queued();
// The folder holding a host path.
std::string folder_of(const std::string& host_path);
