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

// Writes `length` bytes as the whole new content of `path`; false leaves the old file.
bool file_write_atomic(const char* path, const void* bytes, size_t length);

// The same for state saved at every page turn, where neither a wait for the disk nor a new file
// may hold up the turn. The sync is left to a thread that flushes queued files about once a
// second (base/sync_later.h); true still means the new file is in place, so a killed process
// loses nothing. Where the file system can swap two names in one rename, a file of at most one
// sector (kSpareContentMax, a position) replaced is kept beside the new one as a spare (`path` +
// kSpareSuffix) and the next save writes over it:
// making a file and freeing the old one's blocks cost some file systems (ext4 without a journal,
// with online discard) ten times the rest of the save. A power cut before the flush may then find
// the save before the previous one instead of the previous one.
bool file_write_atomic_sync_later(const char* path, const void* bytes, size_t length);
constexpr char kSpareSuffix[] = ".spare.tmp";
constexpr size_t kSpareContentMax = 512;
// Removes the spares kept since the last call: when all state is put on disk (quit, a book closed).
// A spare a killed run left goes with the other temporary files at the next start. The number
// removed.
size_t file_drop_spares();
