// Small system services every layer uses: hooks the device needs and the desktop does not, and
// file helpers over the path remapping. (The host's shell runner, file chooser and appearance are
// in display/device_facts.h.)
#pragma once
#include <cstddef>
#include <cstdint>

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

// Copies `src` to `dst` as copy_file does (through a hidden part name and a rename). 1 copied; 0
// when `dst` exists (nothing is touched) or on any error (the part file is removed).
int ql_copy_file(const char* src, const char* dst);

// Size in bytes and modification time in seconds; -1 when the file is missing.
int64_t ql_file_size(const char* path);
int64_t ql_file_mtime(const char* path);

// Total and free (for users) megabytes (10^6 bytes) of the file system holding `path`: 0, or -1
// when it cannot be asked.
int ql_disk(const char* path, int64_t* total_mb, int64_t* free_mb);
