// The lower layer's small system services: the shell runner that device scripts go through, the
// host's file chooser and appearance, hooks the device needs and the desktop does not, and file
// helpers over the path remapping.
#pragma once
#include <cstddef>
#include <cstdint>

// Hands a shell command line to the host's runner with a time-out in seconds; the host's answer
// (the desktop runs nothing and answers -1). ql_system uses the 900-second time-out.
int ql_system_t(const char* cmd, int secs);
int ql_system(const char* cmd);
constexpr int kQlSystemSecs = 900;

// The host's file chooser and its dark-appearance flag.
void ql_import();
int ql_system_dark();

// Device hooks with nothing to do here: leaving to the stock shell, the Wi-Fi radio, keeping the
// storage exported over USB. The radio always reads as off.
void ql_leave();
void ql_wifi_set(int on);
void ql_usb_modal(int on);
void ql_usb_keep(int on);
int ql_wifi_on();

// Lists `dir` into the file `out`, one name a line, sorted by bytes: names not beginning with ".",
// shorter than 160 bytes and without ".tmp", the first 64 in directory order. The count listed;
// a folder that cannot be opened gives an empty file and 0, an `out` that cannot be written 0.
int ql_list_dir(const char* dir, const char* out);
constexpr int kListDirMax = 64;
constexpr size_t kListNameMax = 159;

// Copies `src` to `dst` through `dst` + ".part" and a rename. 1 copied; 0 when `dst` exists
// (nothing is touched) or on any error (the part file is removed).
int ql_copy_file(const char* src, const char* dst);

// Size in bytes and modification time in seconds; -1 when the file is missing.
int64_t ql_file_size(const char* path);
int64_t ql_file_mtime(const char* path);

// Total and free (for users) megabytes (10^6 bytes) of the file system holding `path`: 0, or -1
// when it cannot be asked.
int ql_disk(const char* path, int64_t* total_mb, int64_t* free_mb);
