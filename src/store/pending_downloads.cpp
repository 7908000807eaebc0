// Stand-in until the download manager exists: nothing is ever downloading and nothing unpacks.
#include "store/download_manager.h"

DownloadState ql_dl_state(uint64_t* done, uint64_t* total) {
  if (done) *done = 0;
  if (total) *total = 0;
  return DL_IDLE;
}

void ql_dl_ack() {}

int ql_unpack_zips(const char*) { return 0; }
