// Syncing files to the disk later, on a thread of their own: a small state file saved at every page
// turn is renamed into place at once, and reaches the disk within about a second without the saver
// waiting for it. A killed process loses nothing (the kernel holds the new file and writes it out);
// only a power cut in that second may find the previous one.
#pragma once
#include <chrono>
#include <cstddef>

// A flush of the queued files starts at most this often.
constexpr std::chrono::milliseconds kSyncLaterPeriod{1000};

// Queues a host path, and the folder holding it, for the next flush.
void sync_later(const char* host_path);
// Flushes everything queued, on the calling thread, once a flush already under way has ended: for
// the end of the process. The number of files (folders included) flushed.
size_t sync_pending_now();
// The files queued and not yet taken by a flush.
size_t sync_later_queued();
