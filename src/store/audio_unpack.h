// Unpacking audiobook archives: the recordings of a ZIP written flat into a folder, each checked
// against its CRC-32 before it takes its name. Used by the download job and for archives dropped
// into the documents folder.
#pragma once
#include <atomic>
#include <cstdint>
#include <string_view>

struct UnpackResult {
  int written = 0;        // recordings now in the folder
  bool complete = false;  // every member was unpacked or is of no use here: the archive may go
};
// Unpacks the recordings of the archive `zip` into `folder` (both device paths; the folder
// exists). Stops when `cancel` becomes non-zero; an unpack that stops early removes the files it
// wrote. A member whose recording could not be written whole (damaged, unsupported, unsafe name,
// no room left) leaves `complete` false so the archive is kept.
UnpackResult unzip_audio(const char* zip, const char* folder, const std::atomic<uint32_t>& cancel);

// Unpacks up to 16 archives lying in `dir` (device path); each goes when it was unpacked
// completely. Refused (0) while a download runs. The number of archives unpacked.
int ql_unpack_zips(const char* dir);
