// Replacing files atomically, in one order: the new content goes to a new temporary file beside the
// final one (state files append ".tmp"), is flushed and synced, and only then does a rename put it
// in place. So the final name only ever holds content that is on the disk: a crash, a kill or a
// power cut leaves the old file or the new one, never a part of either. The folder that records
// the rename is flushed soon after, off the saving thread (base/sync_later.h), and at quit. Paths
// are device paths (they go through the path remapping) except where a name says host.
#pragma once
#include <cstddef>
#include <cstdio>

constexpr size_t kTmpPathSize = 420;

// `path` + ".tmp" in `buf`; the empty string when it does not fit, so the open that follows fails.
const char* path_with_tmp_suffix(char (&buf)[kTmpPathSize], const char* path);

// Opens `tmp_path` for writing as a new, empty file. Whatever sat at that name (a file a killed run
// left, another name of a backup's file, a symbolic link, a folder, a FIFO) is removed first and
// never opened through. Null when that fails (errno says why).
FILE* file_create_new(const char* tmp_path);
// The same for a host path.
FILE* file_create_new_host(const char* tmp_path);

// Finishes an atomic write whose data is in `stream` (open on `tmp_path`), closing the stream.
// On a stream error, or a failed flush, sync or close, the temporary file is removed; a failed
// rename leaves it beside the old file. True when the new file is in place.
bool file_commit(FILE* stream, const char* tmp_path, const char* final_path);
// The same for host paths, which are used as they are (the host's own files: screenshots,
// seeded and added books).
bool file_commit_host(FILE* stream, const char* tmp_path, const char* final_path);
// The same without the sync, for files that only carry words between threads and are rewritten
// several times a second (the audio engine's command, status and position files), or caches
// rebuilt from their sources when lost: a sync there would wear the storage for nothing.
bool file_commit_unsynced(FILE* stream, const char* tmp_path, const char* final_path);

// Writes `length` bytes as the whole new content of `path`; false leaves the old file (errno says
// why).
bool file_write_atomic(const char* path, const void* bytes, size_t length);

// What file_update_atomic does with a file that already holds exactly the new bytes.
enum class SameBytes : unsigned char {
  Keep,   // leaves it as it is
  Touch,  // sets its time to now: a position file's time orders the Recent list
};
// Like file_write_atomic, but writes nothing when the file is a regular file that already holds
// exactly these bytes: state saved at every start and quit seldom changes, and a write that
// changes nothing would still cost a sync.
bool file_update_atomic(const char* path, const void* bytes, size_t length,
                        SameBytes same = SameBytes::Keep);
