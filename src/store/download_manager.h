// The background download manager: one job at a time, polled by the screens through its state.
#pragma once
#include <cstdint>

enum DownloadState : uint32_t {
  DL_IDLE = 0,
  DL_DOWNLOADING = 1,
  DL_DONE = 2,
  DL_FAILED = 3,
  DL_UNPACKING = 4,
};

// The job's state; `done` and `total` (bytes, either may be null) tell its progress.
DownloadState ql_dl_state(uint64_t* done, uint64_t* total);
// A done or failed job goes back to idle.
void ql_dl_ack();
// Unpacks the audiobook ZIPs lying in `dir` into folders; the number of archives unpacked.
int ql_unpack_zips(const char* dir);
