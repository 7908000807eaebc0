// What a program that was killed leaves behind, removed by a later start: per-run temporary
// folders, copies into the library cut short, and the temporary files of atomic writes and
// downloads in the state folder. Nothing a running program uses is touched: each program holds
// its own per-run folder and the data folder's "ql" folder locked (host/folder_lock.h) while it
// lives.
#pragma once
#include <string>

// Removes this user's per-run folders in host_tmp_base() that no running program holds.
void host_remove_stale_tmp_roots();

// Holds the data folder (shared with other programs) for the life of the process. With `tidy`,
// when no other program holds it, first removes what killed runs left in it: copies cut short in
// "documents" and "ql/bundled" (the hidden names file_copy writes under), and whatever sits at a
// ".tmp" or ".part" name in "ql/state" and the folders directly in it. The lock is on the "ql"
// folder, whatever name leads to it, a symbolic link too; one that cannot be locked is named on
// standard error (the log).
void host_hold_data_folder(const std::string& data, bool tidy);
