// Replacing files atomically: the new content goes to a temporary file beside the final one (state
// files append ".tmp"), is flushed and synced, and a rename puts it in place, so a crash leaves
// the old or the new file. Paths are device paths (they go through the path remapping) except
// where a name says host.
#pragma once
#include <cstddef>
#include <cstdio>

constexpr size_t kTmpPathSize = 420;

// `path` + ".tmp" in `buf`; the empty string when it does not fit, so the open that follows fails.
const char* path_with_tmp_suffix(char (&buf)[kTmpPathSize], const char* path);

// Finishes an atomic write whose data is in `stream` (open on `tmp_path`), closing the stream.
// On a stream error, or a failed flush, sync or close, the temporary file is removed; a failed
// rename leaves it beside the old file. True when the new file is in place.
bool file_commit(FILE* stream, const char* tmp_path, const char* final_path);
// The same for host paths, which are used as they are (the host's own files: screenshots,
// seeded and added books).
bool file_commit_host(FILE* stream, const char* tmp_path, const char* final_path);
// The same without the sync, for files that only carry words between threads and are rewritten
// several times a second (the audio engine's command, status and position files): a sync there
// would wear the storage and hold up the thread waiting for the file.
bool file_commit_unsynced(FILE* stream, const char* tmp_path, const char* final_path);

// The same with the sync left to a thread that flushes queued files about once a second
// (base/sync_later.h), for state saved at every page turn, where a wait for the disk would hold up
// the turn. True still means the new file is in place: a killed process loses nothing.
bool file_commit_sync_later(FILE* stream, const char* tmp_path, const char* final_path);

// Writes `length` bytes as the whole new content of `path`; false leaves the old file.
bool file_write_atomic(const char* path, const void* bytes, size_t length);
// The same with the sync left for later, as file_commit_sync_later.
bool file_write_atomic_sync_later(const char* path, const void* bytes, size_t length);
