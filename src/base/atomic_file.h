// Replacing files atomically: the new content goes to a temporary file beside the final one (state
// files append ".tmp"), is flushed and synced, and a rename puts it in place, so a crash leaves
// the old or the new file. Paths are device paths (they go through the path remapping) except
// where a name says host.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

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

// Writes `length` bytes as the whole new content of `path`; false leaves the old file.
bool file_write_atomic(const char* path, const void* bytes, size_t length);

// The same for state saved at every page turn, where no wait for the disk may hold up the turn.
// The new content goes to a new file that a rename puts in place at once, so a killed process
// loses nothing; a thread flushes it about once a second (base/sync_later.h). Until then a power
// cut may lose the new file's data, so the content it replaces, when that is known to be on the
// disk, is kept beside it (`path` + kFallbackSuffix) for file_settle to put back. A file that
// already holds these bytes (and has no other name) has them written over themselves instead: its
// time moves on and nothing needs flushing. True means the new content is in place.
bool file_write_atomic_sync_later(const char* path, const void* bytes, size_t length);
// The same, writing nothing when the file already holds these bytes: for state files rewritten
// whole at every start and quit whose content seldom changes.
bool file_update_sync_later(const char* path, const void* bytes, size_t length);
constexpr char kFallbackSuffix[] = ".fallback.tmp";
// Removes the fallbacks whose files have reached the disk since they were kept (all of them once
// sync_pending_now has run), and the files the saves kept to write over.
// The number of fallbacks removed.
size_t file_drop_fallbacks();
// For a start that finds a fallback a killed run or a power cut left beside `host_path`: when the
// file is missing, empty or holds a zero byte (data that never reached the disk), the fallback
// takes its place, flushed; otherwise the fallback goes.
void file_settle(const std::string& host_path);
