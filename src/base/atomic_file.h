// Replacing state files atomically: the new content goes to the path with ".tmp" appended, is
// flushed and synced, and a rename puts it in place, so a crash leaves the old or the new file.
// All paths are device paths (they go through the path remapping).
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

// Writes `length` bytes as the whole new content of `path`; false leaves the old file.
bool file_write_atomic(const char* path, const void* bytes, size_t length);
